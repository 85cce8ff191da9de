// Drives an HttpClient through a whole transfer the way its callers do (Request, then ReadChunk
// while HasMoreData), for the HTTP client's tests against the test server and nginx.
#pragma once

#include "UpdateManager/HttpClient.h"

#include <ostream>
#include <string>

struct FetchResult
{
    bool ok = false; // IsOk() after Request
    Kelvora::UpdateManager::TransferStatus status = Kelvora::UpdateManager::TransferStatus::Running;
    std::string body; // what was written, for the form without an output stream
};

// Appends the body to `out`; reads nothing when the answer is not accepted.
FetchResult Fetch(Kelvora::UpdateManager::HttpClient& client, const std::string& url, std::ostream& out);
FetchResult Fetch(Kelvora::UpdateManager::HttpClient& client, const std::string& url);
