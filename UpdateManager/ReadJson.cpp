#include "UpdateManager/ReadJson.h"

#include "platform/RegularFile.h"

#include <boost/property_tree/json_parser.hpp>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace Kelvora {
namespace UpdateManager {

namespace pt = boost::property_tree;

namespace {

// Brackets inside strings do not nest; everything else is left to boost's reader.
void CheckNesting(const std::string& text)
{
    int depth = 0;
    unsigned long line = 1;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (c == '\n')
            ++line;
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxJsonDepth)
                throw pt::json_parser_error("nested deeper than " + std::to_string(maxJsonDepth) + " levels",
                                            std::string(), line);
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
}

} // namespace

void ReadJson(const std::string& text, pt::ptree& out)
{
    if (text.size() > maxJsonDocumentSize)
        throw pt::json_parser_error("larger than " + std::to_string(maxJsonDocumentSize) + " bytes", std::string(),
                                    0);
    CheckNesting(text);
    std::istringstream stream(text);
    pt::ptree document;
    pt::read_json(stream, document);
    out.swap(document);
}

void ReadJsonFile(const std::string& path, pt::ptree& out)
{
    std::string text;
    if (!Platform::ReadRegularFile(path, maxJsonDocumentSize, text)) {
        const int error = errno;
        throw pt::json_parser_error(error == EFBIG ? "larger than " + std::to_string(maxJsonDocumentSize) + " bytes"
                                                   : std::string("cannot open file (") + std::strerror(error) + ")",
                                    path, 0);
    }
    ReadJson(text, out);
}

} // namespace UpdateManager
} // namespace Kelvora
