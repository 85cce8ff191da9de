#include "tests/support/UpdaterRelease.h"

#include "tests/support/UpdateManagerProbe.h"


std::string ReleaseJson(const std::string& sku, const std::string& link, const std::string& installer,
                        const std::string& checksum)
{
    ReleaseAnswer answer;
    answer.sku = sku;
    answer.permalink = link;
    answer.size = std::to_string(installer.size());
    answer.checksum = checksum.empty() ? Md5Hex(installer) : checksum;
    return answer.Json();
}

void ServeRelease(HttpTestServer& server, const std::string& sku, const std::string& installer,
                  const HttpTestFileOptions& options, const std::string& checksum)
{
    server.SetAnswer(ResourcesPath(sku), HttpTestAnswer::Json(ReleaseJson(sku, server.Url("/files/setup"), installer, checksum)));
    server.ServeFile("/files/setup", installer, options);
}
