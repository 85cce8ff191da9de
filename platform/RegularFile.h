// Reads a whole regular file of bounded size (ReadFile on a file opened with CreateFileW on
// Windows, where a path names a file or nothing readable). Used by every reader of small text
// files: the registry store, the user-dirs file, the scanner definitions, the ".confirm" file.
#pragma once

#include <cstddef>
#include <string>

namespace Platform {

// True with the file's bytes in `content`. False, with errno set and `content` unchanged, when
// the path cannot be opened (ENOENT...), names anything but a regular file (a folder: EISDIR; a
// FIFO, device or socket: ENODEV), or holds more than `maxSize` bytes (EFBIG; also when the file
// grows past it while read). Never blocks on a FIFO or device; never throws.
bool ReadRegularFile(const std::string& path, std::size_t maxSize, std::string& content);

} // namespace Platform
