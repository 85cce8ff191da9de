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
#include <cctype>
#include <climits>
#include <sstream>

namespace Kelvora {
namespace UpdateManager {

// The body is read from the session itself rather than through its body stream: the session
// hands out the bytes it buffered with the head first, then receives straight into the caller's
// buffer, as much as the socket has (HTTPSession::read, reachable only from a subclass).
class HttpClient::BodySession : public Poco::Net::HTTPClientSession
{
public:
    static constexpr int end = -1;

    int64_t Read(char* target, int64_t length)
    {
        return read(target, static_cast<std::streamsize>(std::min<int64_t>(length, INT_MAX)));
    }

    // The next byte as 0-255, or `end` once the peer closed. HTTPSession::get would give a byte
    // 0xFF as the end.
    int NextByte()
    {
        if (buffered() == 0)
            refill();
        char byte = 0;
        return buffered() > 0 && read(&byte, 1) == 1 ? static_cast<unsigned char>(byte) : end;
    }
};

namespace {

CLog& Log()
{
    return *CSingleton<CLog>::GetInstance();
}

// Every number taken from a header stays below this, so that sums of such numbers and of file
// offsets cannot overflow.
constexpr int64_t headerNumberLimit = 1'000'000'000'000'000'000;

// A chunk-size line (digits and extensions) longer than this is not one.
constexpr int chunkSizeLineLimit = 4096;

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

bool IsAccepted(int code)
{
    using Response = Poco::Net::HTTPResponse;
    return code == Response::HTTP_OK || code == Response::HTTP_CREATED || code == Response::HTTP_ACCEPTED
        || code == Response::HTTP_PARTIAL_CONTENT || code == Response::HTTP_FOUND;
}

// Decimal digits from `at` on, below headerNumberLimit; `at` ends after them. False when there is
// no digit or the number is too large.
bool ParseDigits(const std::string& text, size_t& at, int64_t& value)
{
    const size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        // Tested before the digit is added, so that the sum cannot overflow on its way there.
        if (value >= headerNumberLimit / 10)
            return false;
        value = value * 10 + (text[at] - '0');
        ++at;
    }
    return at > start;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A header value that is exactly one number (blanks around it allowed), like Content-Length.
bool ParseNumber(const std::string& text, int64_t& value)
{
    size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    if (!ParseDigits(text, at, value))
        return false;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    return at == text.size();
}

// The total of a 416's Content-Range: leading blanks and a '+' allowed, digits up to the first
// character that is not one.
bool ParseLeadingNumber(const std::string& text, int64_t& value)
{
    size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    if (at < text.size() && text[at] == '+')
        ++at;
    if (!ParseDigits(text, at, value))
        return false;
    return at == text.size() || text[at] < '0' || text[at] > '9';
}

// "bytes FIRST-LAST/TOTAL" with FIRST <= LAST < TOTAL; an unknown total ("*") does not do.
bool ParseContentRange(const std::string& text, int64_t& first, int64_t& last, int64_t& total)
{
    const std::string unit = "bytes ";
    if (!boost::algorithm::istarts_with(text, unit))
        return false;
    size_t at = unit.size();
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    if (!ParseDigits(text, at, first) || at >= text.size() || text[at++] != '-')
        return false;
    if (!ParseDigits(text, at, last) || at >= text.size() || text[at++] != '/')
        return false;
    if (!ParseDigits(text, at, total))
        return false;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    return at == text.size() && first <= last && last < total;
}

int HexValue(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

HttpClient::HttpClient()
    : session(new BodySession())
    , responseStream(nullptr)
    , buffer(new char[chunkSize])
    , bytesRead(0)
    , progress(0.0)
    , position(0)
    , status(TransferStatus::Running)
    , ok(false)
    , expectedSize(0)
    , sizeAnnounced(true)
    , resumeOffset(0)
    , rangeIgnored(false)
    , rangeMismatched(false)
    , framing(Framing::ContentLength)
    , bodyEnd(BodyEnd::Open)
    , chunkLeft(-1)
    , knownTotal(-1)
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
    return sizeAnnounced.load() ? BodyStart() + expectedSize.load() : -1;
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
    rangeMismatched = false;
    bodyEnd = BodyEnd::Open;
    chunkLeft = -1;
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
        std::istream* stream = nullptr;
        try {
            stream = &session->receiveResponse(response);
        } catch (const Poco::SyntaxException&) {
            // Poco reads the Content-Length itself to choose the body's stream; one that is no
            // number is a lying answer, not a connection that failed.
            int64_t length = 0;
            const std::string& contentLength = response.get("Content-Length", "");
            if (!response.has("Content-Length") || ParseNumber(contentLength, length))
                throw;
            session->reset();
            CheckAnswerHead(url, response.getStatus(), contentLength, "", false);
            return;
        }
        if (stream->fail()) {
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

        // A chunked body's own framing wins over any Content-Length, as Poco's choice of stream.
        const bool chunked = response.getChunkedTransferEncoding();
        framing = chunked ? Framing::Chunked
                          : response.has("Content-Length") ? Framing::ContentLength : Framing::UntilClose;
        if (response.getStatus() == Poco::Net::HTTPResponse::HTTP_REQUESTED_RANGE_NOT_SATISFIABLE
            && !response.has("Content-Range")) {
            // Poco's not-found error, as a missing header of any other answer would give.
            response.get("Content-Range");
        }
        if (CheckAnswerHead(url, response.getStatus(), response.get("Content-Length", ""),
                            response.get("Content-Range", ""), chunked))
            responseStream = stream;
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

bool HttpClient::CheckAnswerHead(const std::string& url, int code, const std::string& contentLength,
                                 const std::string& contentRange, bool chunked)
{
    const auto badHeader = [this](const char* name, const std::string& value) {
        Log().Error("web", "Bad response header: ", name, ": ", value);
        ok = false;
        status = TransferStatus::Inconsistent;
        sizeAnnounced.store(false);
        expectedSize.store(-1);
        return false;
    };

    int64_t length = -1;
    if (!chunked && !contentLength.empty() && !ParseNumber(contentLength, length))
        return badHeader("Content-Length", contentLength);
    if (chunked)
        length = -1;
    expectedSize.store(length);
    sizeAnnounced.store(length >= 0);
    ok = IsAccepted(code);
    const int64_t offset = resumeOffset.load();
    const bool rangeAsked = offset > 0;
    rangeIgnored.store(ok && rangeAsked && code != Poco::Net::HTTPResponse::HTTP_PARTIAL_CONTENT);

    int64_t total = length;
    if (code == Poco::Net::HTTPResponse::HTTP_REQUESTED_RANGE_NOT_SATISFIABLE) {
        total = -1;
        const size_t slash = contentRange.rfind('/');
        if (slash != std::string::npos) {
            int64_t parsed = 0;
            if (!ParseLeadingNumber(contentRange.substr(slash + 1), parsed))
                return badHeader("Content-Range", contentRange);
            // May be negative: the file holds more than the resource. Bounded on both sides, so
            // neither this nor the total built from it overflows.
            int64_t remainder = 0;
            if (__builtin_sub_overflow(parsed, offset, &remainder))
                return badHeader("Content-Range", contentRange);
            expectedSize.store(remainder);
            sizeAnnounced.store(true);
            ok = remainder == 0;
            total = parsed;
        }
    } else if (code == Poco::Net::HTTPResponse::HTTP_PARTIAL_CONTENT && (rangeAsked || !contentRange.empty())) {
        // The body is appended at the offset asked for: any other part of the resource, or a part
        // of a resource whose size changed since this URL last announced it, would corrupt the
        // file. Only the whole rest, "bytes OFFSET-(TOTAL-1)/TOTAL", will do.
        int64_t first = 0;
        int64_t last = 0;
        int64_t rangeTotal = 0;
        const bool fits = ParseContentRange(contentRange, first, last, rangeTotal) && first == std::max<int64_t>(offset, 0)
            && last == rangeTotal - 1 && (length < 0 || length == last - first + 1)
            && (url != totalUrl || knownTotal < 0 || knownTotal == rangeTotal);
        if (!fits) {
            rangeMismatched = rangeAsked;
            return badHeader("Content-Range", contentRange);
        }
        total = rangeTotal;
    }

    int64_t sum = 0;
    if (sizeAnnounced.load() && __builtin_add_overflow(BodyStart(), expectedSize.load(), &sum))
        return badHeader("Content-Length", contentLength);
    if (ok) {
        totalUrl = url;
        knownTotal = total;
    }
    return true;
}

void HttpClient::EndTransfer(TransferStatus end)
{
    status = end;
    responseStream = nullptr;
}

void HttpClient::EndOfBodyFailure()
{
    responseStream = nullptr;
    session->reset();
    const bool allThere = sizeAnnounced.load() && position.load() >= GetTotalSize();
    status = allThere ? TransferStatus::Inconsistent : TransferStatus::Incomplete;
}

bool HttpClient::HasMoreData()
{
    if (responseStream == nullptr)
        return false;
    switch (bodyEnd) {
    case BodyEnd::Complete:
        EndTransfer(TransferStatus::Complete);
        return false;
    case BodyEnd::Malformed:
        session->reset();
        EndTransfer(TransferStatus::Inconsistent);
        return false;
    case BodyEnd::Cut:
    case BodyEnd::Failed:
        // A body that ends before its announced length, or a chunked one without its last
        // chunk, was cut off, not completed.
        EndOfBodyFailure();
        return false;
    case BodyEnd::Open:
        break;
    }
    if (sizeAnnounced.load() && bytesRead >= expectedSize.load()) {
        EndTransfer(TransferStatus::Complete);
        return false;
    }
    return true;
}

int64_t HttpClient::ReadBody(char* target, int64_t capacity)
{
    if (responseStream == nullptr || bodyEnd != BodyEnd::Open || capacity <= 0)
        return 0;
    int64_t wanted = capacity;
    // Never past the announced length: what follows it is no part of the body.
    if (sizeAnnounced.load())
        wanted = std::min(wanted, expectedSize.load() - bytesRead);
    if (wanted <= 0)
        return 0;
    int64_t count = 0;
    try {
        if (framing == Framing::Chunked) {
            count = ReadChunkedBody(target, wanted);
        } else {
            count = session->Read(target, wanted);
            if (count <= 0) {
                count = 0;
                bodyEnd = framing == Framing::UntilClose ? BodyEnd::Complete : BodyEnd::Cut;
            }
        }
    } catch (const std::exception&) {
        // A time-out or a reset: the next HasMoreData reports the end.
        count = 0;
        bodyEnd = BodyEnd::Failed;
        session->reset();
    }
    bytesRead += count;
    return count;
}

int64_t HttpClient::ReadChunkedBody(char* target, int64_t capacity)
{
    if (chunkLeft == 0 && !ReadChunkDataEnd())
        return 0;
    if (chunkLeft < 0 && !ReadChunkSize())
        return 0;
    const int64_t count = session->Read(target, std::min(capacity, chunkLeft));
    if (count <= 0) {
        bodyEnd = BodyEnd::Cut;
        return 0;
    }
    chunkLeft -= count;
    return count;
}

bool HttpClient::ReadChunkSize()
{
    int64_t size = 0;
    int length = 0;
    int c = session->NextByte();
    for (; HexValue(c) >= 0; c = session->NextByte()) {
        if (size >= headerNumberLimit / 16 || ++length > chunkSizeLineLimit) {
            bodyEnd = BodyEnd::Malformed;
            return false;
        }
        size = size * 16 + HexValue(c);
    }
    if (c != BodySession::end && length > 0) {
        while (IsBlank(static_cast<char>(c)) && ++length <= chunkSizeLineLimit)
            c = session->NextByte();
        if (c == ';') {
            // Chunk extensions mean nothing here.
            while (c != '\n' && c != BodySession::end && ++length <= chunkSizeLineLimit)
                c = session->NextByte();
        } else if (c == '\r') {
            c = session->NextByte();
        }
    }
    if (c == BodySession::end) {
        bodyEnd = BodyEnd::Cut;
        return false;
    }
    if (c != '\n' || length == 0 || length > chunkSizeLineLimit) {
        bodyEnd = BodyEnd::Malformed;
        return false;
    }
    if (size == 0) {
        // The last chunk: the body is whole. Trailers are of no use, and the connection is
        // closed with the next request anyway.
        bodyEnd = BodyEnd::Complete;
        return false;
    }
    chunkLeft = size;
    return true;
}

bool HttpClient::ReadChunkDataEnd()
{
    int c = session->NextByte();
    if (c == '\r')
        c = session->NextByte();
    if (c == '\n') {
        chunkLeft = -1;
        return true;
    }
    bodyEnd = c == BodySession::end ? BodyEnd::Cut : BodyEnd::Malformed;
    return false;
}

int64_t HttpClient::ReadChunk(std::ostream& out)
{
    const int64_t count = ReadBody(buffer.get(), chunkSize);
    if (count > 0) {
        out.write(buffer.get(), count);
        position.store(static_cast<int64_t>(out.tellp()));
        UpdateProgress();
    }
    return count;
}

int64_t HttpClient::ReadChunk(char* target, int64_t capacity)
{
    const int64_t count = ReadBody(target, capacity);
    if (count > 0) {
        position.store(BodyStart() + bytesRead);
        UpdateProgress();
    }
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
