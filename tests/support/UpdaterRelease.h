// One release of one product on the HTTP test server, as the updater program's tests and the
// update window's tests serve it: the resources answer and the installer file "/files/setup".
#pragma once

#include "tests/support/HttpTestServer.h"
#include "tests/support/Md5Hex.h"

#include <string>

// The resources answer for `sku` describes an installer of `installer`'s size at `link`, with
// `checksum` (the installer's own digest when empty).
std::string ReleaseJson(const std::string& sku, const std::string& link, const std::string& installer,
                        const std::string& checksum = "");

// Scripts the server: the resources answer at the product's path and the installer at
// "/files/setup" (ranges honoured, `options` applied).
void ServeRelease(HttpTestServer& server, const std::string& sku, const std::string& installer,
                  const HttpTestFileOptions& options = {}, const std::string& checksum = "");
