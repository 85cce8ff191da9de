#include "tests/support/HttpFetch.h"

#include <sstream>

FetchResult Fetch(Kelvora::UpdateManager::HttpClient& client, const std::string& url, std::ostream& out)
{
    FetchResult result;
    client.Request(url);
    result.ok = client.IsOk();
    if (result.ok) {
        while (client.HasMoreData())
            client.ReadChunk(out);
    }
    result.status = client.GetStatus();
    return result;
}

FetchResult Fetch(Kelvora::UpdateManager::HttpClient& client, const std::string& url)
{
    std::ostringstream out;
    FetchResult result = Fetch(client, url, out);
    result.body = out.str();
    return result;
}
