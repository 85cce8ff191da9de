#include "UpdateManager/HttpClient.h"

#include "UpdateManager/ReadJson.h"
#include "common/CLog.h"

#include <Poco/Exception.h>
#include <Poco/Net/HTTPBasicCredentials.h>
#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/Timespan.h>
#include <Poco/URI.h>
#include <boost/algorithm/string/predicate.hpp>

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace Kelvora {
namespace UpdateManager {

namespace {

CLog& Log()
{
    return *CSingleton<CLog>::GetInstance();
}

// The URL with the password of its user information replaced by "***", so that log lines never
// hold it in clear.
std::string MaskPassword(const std::string& url)
{
    const size_t schemeEnd = url.find("://");
    const size_t authorityStart = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
    const size_t authorityEnd = url.find_first_of("/?#", authorityStart);
    const std::string authority = url.substr(authorityStart, authorityEnd - authorityStart);
    const size_t at = authority.rfind('@');
    if (at == std::string::npos)
        return url;
    const size_t colon = authority.find(':');
    if (colon == std::string::npos || colon > at || colon + 1 == at)
        return url;
    return url.substr(0, authorityStart + colon + 1) + "***" + url.substr(authorityStart + at);
}

bool IsAccepted(Poco::Net::HTTPResponse::HTTPStatus code)
{
    using Response = Poco::Net::HTTPResponse;
    return code == Response::HTTP_OK || code == Response::HTTP_CREATED || code == Response::HTTP_ACCEPTED
        || code == Response::HTTP_PARTIAL_CONTENT || code == Response::HTTP_FOUND;
}

} // namespace

HttpClient::HttpClient()
    : session(new Poco::Net::HTTPClientSession())
    , responseStream(nullptr)
    , buffer()
    , bytesRead(0)
    , progress(0.0)
    , position(0)
    , status(TransferStatus::Running)
    , ok(false)
    , expectedSize(0)
    , resumeOffset(0)
    , rangeIgnored(false)
{
    session->setTimeout(Poco::Timespan(10, 0));
}

HttpClient::~HttpClient() = default;

int64_t HttpClient::BodyStart() const
{
    return rangeIgnored.load() ? 0 : resumeOffset.load();
}

int64_t HttpClient::GetTotalSize() const
{
    const int64_t expected = expectedSize.load();
    return expected < 0 ? -1 : BodyStart() + expected;
}

void HttpClient::UpdateProgress()
{
    const int64_t total = GetTotalSize();
    if (total > 0)
        progress.store(static_cast<double>(position.load()) / static_cast<double>(total));
}

void HttpClient::Request(const std::string& url)
{
    status = TransferStatus::Running;
    progress.store(0.0);
    bytesRead = 0;
    rangeIgnored.store(false);
    // The stream of an earlier answer dies with the session's next request.
    responseStream = nullptr;

    // Only plain HTTP is spoken: an https URL would otherwise go, unencrypted, to a host named
    // "https".
    if (boost::algorithm::istarts_with(url, "https:")) {
        ok = false;
        status = TransferStatus::ConnectionFailed;
        Log().Error("web", "Error connecting to ", MaskPassword(url), ": ", "unsupported URL scheme https");
        return;
    }

    std::string fullUrl = url;
    if (!boost::algorithm::istarts_with(fullUrl, "http:/"))
        fullUrl = "http://" + fullUrl;
    const Poco::URI uri(fullUrl);
    Log().Debug("web", "Request URI: ", MaskPassword(uri.toString()));

    try {
        if (uri.getHost() != session->getHost() || uri.getPort() != session->getPort()) {
            session->reset();
            session->setHost(uri.getHost());
            session->setPort(uri.getPort());
        }
        std::string path = uri.getPathAndQuery();
        if (path.empty())
            path = "/";
        Poco::Net::HTTPRequest request(Poco::Net::HTTPRequest::HTTP_GET, path, Poco::Net::HTTPMessage::HTTP_1_1);

        const std::string& userInfo = uri.getUserInfo();
        if (!userInfo.empty()) {
            const size_t colon = userInfo.find(':');
            const std::string user = userInfo.substr(0, colon);
            const std::string password = colon == std::string::npos ? std::string() : userInfo.substr(colon + 1);
            Log().Debug("web", "Authenticate with ", user, ":", password.empty() ? "" : "***");
            Poco::Net::HTTPBasicCredentials(user, password).authenticate(request);
        }

        if (resumeOffset.load() > 0)
            request.set("Range", "bytes=" + std::to_string(resumeOffset.load()) + "-");

        session->sendRequest(request);
        Poco::Net::HTTPResponse response;
        std::istream& stream = session->receiveResponse(response);
        responseStream = &stream;
        if (stream.fail()) {
            ok = false;
            session->reset();
            status = TransferStatus::ConnectionFailed;
            return;
        }

        if (Log().IsEnabled("web", static_cast<int>(LogLevel::Debug))) {
            std::ostringstream head;
            response.write(head);
            Log().Debug("web", "Response Header: ", head.str());
        }

        expectedSize.store(response.getContentLength64());
        ok = IsAccepted(response.getStatus());
        rangeIgnored.store(ok && resumeOffset.load() > 0 &&
                           response.getStatus() != Poco::Net::HTTPResponse::HTTP_PARTIAL_CONTENT);

        if (response.getStatus() == Poco::Net::HTTPResponse::HTTP_REQUESTED_RANGE_NOT_SATISFIABLE) {
            const std::string& contentRange = response.get("Content-Range");
            const size_t slash = contentRange.rfind('/');
            if (slash != std::string::npos) {
                bool parsed = false;
                unsigned long long total = 0;
                try {
                    total = std::stoull(contentRange.substr(slash + 1));
                    parsed = true;
                } catch (const std::logic_error&) {
                    // invalid_argument (no digit) or out_of_range
                }
                if (parsed) {
                    expectedSize.store(static_cast<int64_t>(total) - resumeOffset.load());
                    ok = expectedSize.load() == 0;
                } else {
                    Log().Error("web", "Bad response header: Content-Range: ", contentRange);
                    status = TransferStatus::Inconsistent;
                }
            }
        }
        UpdateProgress();
    } catch (const Poco::Exception& error) {
        ok = false;
        session->reset();
        status = TransferStatus::ConnectionFailed;
        Log().Error("web", "Error connecting to ", MaskPassword(url), ": ", error.displayText());
    } catch (const std::exception& error) {
        ok = false;
        session->reset();
        status = TransferStatus::ConnectionFailed;
        Log().Error("web", "Error connecting to ", MaskPassword(url), ": ", error.what());
    }
}

void HttpClient::EndOfBodyFailure()
{
    responseStream = nullptr;
    session->reset();
    const int64_t expected = expectedSize.load();
    const bool allThere = expected >= 0 && position.load() >= BodyStart() + expected;
    status = allThere ? TransferStatus::Inconsistent : TransferStatus::Incomplete;
}

bool HttpClient::HasMoreData()
{
    if (responseStream == nullptr)
        return false;
    const int64_t expected = expectedSize.load();
    if (responseStream->eof()) {
        // A body that ends before its announced length was cut off, not completed.
        if (expected >= 0 && bytesRead < expected) {
            EndOfBodyFailure();
            return false;
        }
        status = TransferStatus::Complete;
        responseStream = nullptr;
        return false;
    }
    if (expected >= 0 && bytesRead >= expected) {
        status = TransferStatus::Complete;
        responseStream = nullptr;
        return false;
    }
    if (responseStream->good())
        return true;
    EndOfBodyFailure();
    return false;
}

int64_t HttpClient::ReadChunk(std::ostream& out)
{
    // Takes what has arrived rather than waiting for a full buffer: a read that fails half-way
    // (time-out, reset) would lose the bytes it had already taken from the connection.
    std::streamsize available = responseStream->rdbuf()->in_avail();
    if (available <= 0) {
        responseStream->peek();
        available = responseStream->good() ? responseStream->rdbuf()->in_avail() : 0;
    }
    int64_t count = 0;
    if (available > 0) {
        responseStream->read(buffer, std::min<std::streamsize>(available, sizeof buffer));
        count = responseStream->gcount();
    }
    if (count > 0) {
        out.write(buffer, count);
        position.store(static_cast<int64_t>(out.tellp()));
        UpdateProgress();
        bytesRead += count;
    }
    if (responseStream->bad())
        session->reset();
    return count;
}

bool HttpClient::GetJson(const std::string& url, boost::property_tree::ptree& out, const std::function<void()>& callback)
{
    static_cast<void>(callback);
    std::stringstream stream;
    Request(url);
    if (!IsOk())
        return false;
    // A server must not make the updater hold an unbounded body: past the reader's limit the
    // rest is not read, and the reader refuses the document.
    bool tooLarge = false;
    while (!tooLarge && HasMoreData()) {
        ReadChunk(stream);
        tooLarge = static_cast<std::size_t>(stream.tellp()) > maxJsonDocumentSize;
    }
    if (!tooLarge && GetStatus() != TransferStatus::Complete)
        return false;
    try {
        ReadJson(stream.str(), out);
        return true;
    } catch (const boost::property_tree::ptree_error& error) {
        Log().Error("web", "Invalid json format Response: ", error.what());
    } catch (...) {
        Log().Error("web", "Fatal error reading json response.");
    }
    return false;
}

} // namespace UpdateManager
} // namespace Kelvora
