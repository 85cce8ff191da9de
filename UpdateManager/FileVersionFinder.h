// Finds a product's version in the version resource of a file at a fixed path (a "file" rule
// of the scanner definition file). Created by the product scanner.
#pragma once

#include "UpdateManager/VersionFinder.h"

#include <boost/filesystem/path.hpp>

#include <string>

namespace Kelvora {
namespace UpdateManager {

class FileVersionFinder : public VersionFinder
{
public:
    // `text` may begin with a folder placeholder (see ExpandPathPlaceholders).
    explicit FileVersionFinder(const std::string& text);

    // `found` is whether the path exists (false when the test fails); true when a version was
    // read from it.
    bool FindVersion(std::string& version, bool& found) const override;

private:
    boost::filesystem::path path;
};

} // namespace UpdateManager
} // namespace Kelvora
