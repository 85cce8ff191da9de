// The MD5 digest of bytes in memory, from Poco's own MD5 engine: a reference that does not share
// the OpenSSL engine the system digests its files with.
#pragma once

#include <string>

// 32 lower-case hexadecimal digits.
std::string Md5Hex(const std::string& data);
