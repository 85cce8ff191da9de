// One HTTP GET at a time over a Poco session that the client owns: the caller sends the request,
// then pulls the body in chunks of at most 8192 bytes. Used by the download worker (one client per
// product record) and, on the stack, by the resources request of the update manager.
#pragma once

#include <boost/property_tree/ptree.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>

namespace Poco {
namespace Net {
class HTTPClientSession;
}
} // namespace Poco

namespace Kelvora {
namespace UpdateManager {

// How a transfer ended. 2 is not used.
enum class TransferStatus : int32_t {
    Running = 0,          // set by every Request; also stays after an answer that is not accepted
    Complete = 1,         // the body reached its end, or all announced bytes were read
    Inconsistent = 3,     // the body failed after all announced bytes; or a 416 with a bad total
    Incomplete = 4,       // the body failed (or ended) before all announced bytes
    ConnectionFailed = 5, // no usable answer: connecting, sending or receiving the head failed
};

class HttpClient
{
public:
    // A session with no host yet, port 80 and a time-out of 10 s; keep-alive stays off, so every
    // request opens its own connection.
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Sends one GET ("http://" is put in front of a URL that does not begin with "http:/") and
    // receives the answer's head. The outcome is read with IsOk and GetStatus: a network failure
    // (or a URL with the unsupported scheme https, refused before any network activity) gives
    // ok false and TransferStatus::ConnectionFailed, with one "Error connecting to " line.
    // Throws Poco::SyntaxException when the URL cannot be parsed; nothing else leaves it.
    void Request(const std::string& url);

    // True while the body may hold further bytes; when it returns false it has set the final
    // TransferStatus. An answer without a Content-Length is read to the end of its body.
    bool HasMoreData();

    // Reads at most 8192 body bytes, appends them to `out` and returns how many (0 or more).
    int64_t ReadChunk(std::ostream& out);

    bool IsOk() const { return ok; }
    TransferStatus GetStatus() const { return status; }

    // Bytes the output already holds: the start of the requested range. Kept across transfers.
    void SetResumeOffset(int64_t offset) { resumeOffset.store(offset); }

    // Position of the output after the last chunk written (for a file opened for appending, its
    // size). May be read from another thread during a transfer, like the two below.
    int64_t GetPosition() const { return position.load(); }
    // Position / total size; stays 0 while the total size is unknown.
    double GetProgress() const { return progress.load(); }
    // Resume offset + the length the answer announced; -1 when the answer announced none.
    // When the server ignored the range (IsRangeIgnored), the body is the whole resource and
    // the total is its length alone.
    int64_t GetTotalSize() const;
    // True when the last Request asked for a range and the accepted answer is not a partial
    // one (206): its body starts at byte 0, so an output that already holds the first bytes
    // must be emptied before the body is written, or the file would hold them twice.
    bool IsRangeIgnored() const { return rangeIgnored.load(); }

    // GET of a JSON document into `out`. False (with a log line for a body that is not JSON, or
    // that is larger or nested deeper than ReadJson accepts) when the request fails, the answer
    // is not accepted or the body is incomplete; GetStatus then tells an unreachable server
    // (TransferStatus::ConnectionFailed) from a bad answer. Of a body larger than
    // maxJsonDocumentSize no more than one chunk beyond that size is read.
    // `callback` is accepted and never called. Throws like Request for a URL that cannot be parsed.
    bool GetJson(const std::string& url, boost::property_tree::ptree& out, const std::function<void()>& callback);

private:
    // position / GetTotalSize(), when that total is known and above 0.
    void UpdateProgress();
    // Where the body starts in the resource: the resume offset, or 0 when the range was ignored.
    int64_t BodyStart() const;
    void EndOfBodyFailure();

    // Every member is used by the one thread that drives the transfer (the download worker, or
    // the main thread for the resources request); the atomics may also be read by another
    // thread (the main thread polling a download's progress).
    std::unique_ptr<Poco::Net::HTTPClientSession> session;
    std::istream* responseStream; // belongs to the session; null outside a readable body
    char buffer[8192];
    int64_t bytesRead;
    std::atomic<double> progress;
    std::atomic<int64_t> position;
    TransferStatus status;
    bool ok;
    std::atomic<int64_t> expectedSize; // Content-Length, -1 when none, or a 416's remainder
    std::atomic<int64_t> resumeOffset;
    std::atomic<bool> rangeIgnored;
};

} // namespace UpdateManager
} // namespace Kelvora
