// Reads one release description of the resources server's answer into a ProductDescription and
// writes its release notes to a file under the resources folder. The update manager makes one on
// the stack for each description it reads. Also the two path-text helpers it needs.
#pragma once

#include "UpdateManager/ProductDescription.h"

#include <boost/property_tree/ptree.hpp>

#include <string>

namespace Kelvora {
namespace UpdateManager {

class ProductDescriptionFactory
{
public:
    // Fills `out` from `element`; sku, type and local version come from the arguments. False
    // (with a "description" error line) when neither "product_sku" nor "product_id" is `sku`, or
    // a required key is missing; `out` is then partly filled and not to be used. A release-notes
    // file that cannot be written never makes it fail. Other errors (memory) pass through.
    virtual bool Create(const std::string& sku, const std::string& type, const std::string& localVersion,
                        const boost::property_tree::ptree& element, ProductDescription& out);

private:
    // Writes the notes to <resources folder>temp\<sku>.html and sets out.releaseNotesUrl; does
    // nothing when the folder's parent does not exist. File-system errors are logged here.
    static void WriteReleaseNotes(const std::string& sku, const std::string& notes, ProductDescription& out);
};

// The path without its trailing separators and its last part, with '/' turned into backslashes;
// "" when no separator is left ("C:/a/b/" gives "C:\a").
std::string GetDirectoryPart(const std::string& path);

// A copy of `text` with every occurrence of `pattern` replaced; replacements are not searched
// again. An empty pattern leaves the text unchanged.
std::string ReplaceAll(const std::string& text, const std::string& pattern, const std::string& replacement);

} // namespace UpdateManager
} // namespace Kelvora
