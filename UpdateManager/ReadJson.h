// The one JSON reader of the library: the resources server's answers, the ".confirm" file and
// the scanner definitions are all read through it. boost's reader recurses once per nesting
// level, in the parser and in every later copy or destruction of the tree, so a hostile
// document could exhaust the stack; this reader refuses such documents before boost sees them.
#pragma once

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/stream_translator.hpp>

#include <cstddef>
#include <locale>
#include <string>

namespace Kelvora {
namespace UpdateManager {

// Documents larger than this are refused; far above any release description or definition file.
constexpr std::size_t maxJsonDocumentSize = 1024 * 1024;
// Arrays and objects nested deeper than this are refused; real documents nest a few levels.
constexpr int maxJsonDepth = 256;

// Parses `text` into `out` with boost's JSON reader. Throws boost's json_parser_error, as that
// reader does for invalid JSON, also for a document above either limit; `out` is then
// unchanged.
void ReadJson(const std::string& text, boost::property_tree::ptree& out);

// Reads the regular file at `path` (at most maxJsonDocumentSize bytes) and parses it as
// ReadJson does. Throws json_parser_error also when the file cannot be read, is a folder, a
// FIFO or a device (never blocks on one), or is too large.
void ReadJsonFile(const std::string& path, boost::property_tree::ptree& out);

// The translator for a number of a JSON document: boost's own, which takes white space around
// the digits and nothing else, but in the classic locale, so that the global locale's digit
// grouping ("1,000") or decimal comma never counts. Every number of a document is read with it.
template <class T>
boost::property_tree::stream_translator<char, std::char_traits<char>, std::allocator<char>, T> JsonNumber()
{
    return boost::property_tree::stream_translator<char, std::char_traits<char>, std::allocator<char>, T>(
        std::locale::classic());
}

} // namespace UpdateManager
} // namespace Kelvora
