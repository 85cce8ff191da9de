// One HTTP GET at a time over a Poco session that the client owns: the caller sends the request,
// then pulls the body in chunks and learns how the transfer ended. Used by the download worker
// (one client per product record) and, on the stack, by the resources request of the update manager.
#pragma once

#include <boost/property_tree/ptree.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>

namespace Kelvora {
namespace UpdateManager {

// How a transfer ended. 2 is not used.
enum class TransferStatus : int32_t {
    Running = 0,          // set by every Request; also stays after an answer that is not accepted
    Complete = 1,         // the body reached its proper end, or all announced bytes were read
    Inconsistent = 3,     // the body failed after all announced bytes; a malformed body or header
    Incomplete = 4,       // the body failed or was cut before its end: may be resumed
    ConnectionFailed = 5, // no usable answer: connecting, sending or receiving the head failed
};

class HttpClient
{
public:
    // Chunks are far larger than the design's 8192 bytes: at 8 KiB a gigabyte costs a quarter of a
    // million reads, writes and digest hand-overs, which is what bounded the download's speed.
    static constexpr int64_t chunkSize = 256 * 1024;

    // A session with no host yet, port 80 and a time-out of 10 s; keep-alive stays off, so every
    // request opens its own connection. The read buffer (chunkSize bytes) is allocated here once.
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Sends one GET ("http://" is put in front of a URL that does not begin with "http:/") and
    // receives the answer's head. The outcome is read with IsOk and GetStatus: a network failure
    // (or a URL with the unsupported scheme https, refused before any network activity) gives
    // ok false and TransferStatus::ConnectionFailed, with one "Error connecting to " line. A
    // header that lies (a Content-Length or Content-Range that is not a number in bounds, a 206
    // whose range is not the one asked for) gives ok false and TransferStatus::Inconsistent with
    // one "Bad response header: " line.
    // Throws Poco::SyntaxException when the URL cannot be parsed; nothing else leaves it.
    void Request(const std::string& url);

    // True while the body may hold further bytes; when it returns false it has set the final
    // TransferStatus. An answer without a Content-Length is read to the end of its body; a
    // chunked body is complete only with its last chunk.
    bool HasMoreData();

    // Reads at most chunkSize body bytes, appends them to `out` and returns how many (0 or more).
    int64_t ReadChunk(std::ostream& out);
    // Reads at most `capacity` body bytes straight into `target` and returns how many (0 or
    // more); the caller stores them. The position then counts them on top of the body's start
    // (the resume offset, or 0 when the range was ignored): what a file opened for appending
    // holds once they are written.
    int64_t ReadChunk(char* target, int64_t capacity);

    bool IsOk() const { return ok; }
    TransferStatus GetStatus() const { return status; }

    // Bytes the output already holds: the start of the requested range. Kept across transfers.
    void SetResumeOffset(int64_t offset) { resumeOffset.store(offset); }

    // Position of the output after the last chunk written (for a file opened for appending, its
    // size). May be read from another thread during a transfer, like the two below.
    int64_t GetPosition() const { return position.load(); }
    // Position / total size; stays 0 while the total size is unknown.
    double GetProgress() const { return progress.load(); }
    // Resume offset + the length the answer announced (for a 416 the remainder, which may be
    // negative); -1 when the answer announced none. When the server ignored the range
    // (IsRangeIgnored), the body is the whole resource and the total is its length alone.
    int64_t GetTotalSize() const;
    // True when the last Request asked for a range and the accepted answer is not a partial
    // one (206): its body starts at byte 0, so an output that already holds the first bytes
    // must be emptied before the body is written, or the file would hold them twice.
    bool IsRangeIgnored() const { return rangeIgnored.load(); }
    // True when the last Request asked for a range and got a 206 for another one (another start,
    // not up to the end, or a total that differs from the one this URL announced before): ok is
    // false, and the bytes held may belong to another version of the resource.
    bool IsRangeMismatched() const { return rangeMismatched; }

    // GET of a JSON document into `out`. False (with a log line for a body that is not JSON, or
    // that is larger or nested deeper than ReadJson accepts) when the request fails, the answer
    // is not accepted or the body is incomplete; GetStatus then tells an unreachable server
    // (TransferStatus::ConnectionFailed) from a bad answer. Of a body larger than
    // maxJsonDocumentSize no more than one chunk beyond that size is read.
    // `callback` is accepted and never called. Throws like Request for a URL that cannot be parsed.
    bool GetJson(const std::string& url, boost::property_tree::ptree& out, const std::function<void()>& callback);

private:
    class BodySession;
    enum class Framing { ContentLength, Chunked, UntilClose };
    // How reading the body ended, as far as the reads have seen.
    enum class BodyEnd { Open, Complete, Cut, Malformed, Failed };

    // position / GetTotalSize(), when that total is known and above 0.
    void UpdateProgress();
    // Where the body starts in the resource: the resume offset, or 0 when the range was ignored.
    int64_t BodyStart() const;
    // Checks the head of an accepted answer; false (with the log line) when a header lies.
    bool CheckAnswerHead(const std::string& url, int code, const std::string& contentLength,
                         const std::string& contentRange, bool chunked);
    void EndTransfer(TransferStatus end);
    void EndOfBodyFailure();
    // Reads body bytes as the framing says; the end, when met, goes to bodyEnd.
    int64_t ReadBody(char* target, int64_t capacity);
    int64_t ReadChunkedBody(char* target, int64_t capacity);
    // The chunk-size line; false when the body ended there (bodyEnd says how).
    bool ReadChunkSize();
    // The line end after a chunk's data; false when the body ended there.
    bool ReadChunkDataEnd();

    // Every member is used by the one thread that drives the transfer (the download worker, or
    // the main thread for the resources request); the atomics may also be read by another
    // thread (the main thread polling a download's progress).
    std::unique_ptr<BodySession> session;
    // The session's body stream of the current answer; null outside a readable body. Never read
    // from: its buffer hands over 4 KiB at a time, so the body is read from the session itself.
    std::istream* responseStream;
    std::unique_ptr<char[]> buffer; // chunkSize bytes, for ReadChunk into a stream
    int64_t bytesRead;
    std::atomic<double> progress;
    std::atomic<int64_t> position;
    TransferStatus status;
    bool ok;
    std::atomic<int64_t> expectedSize; // Content-Length, -1 when none, or a 416's remainder
    std::atomic<bool> sizeAnnounced;   // expectedSize holds a length (it may be -1 for a 416)
    std::atomic<int64_t> resumeOffset;
    std::atomic<bool> rangeIgnored;
    bool rangeMismatched;
    Framing framing;
    BodyEnd bodyEnd;
    int64_t chunkLeft; // data bytes left in the current chunk; -1 when a size line comes next
    // The total size the last answer for `totalUrl` announced; -1 when none did.
    std::string totalUrl;
    int64_t knownTotal;
};

} // namespace UpdateManager
} // namespace Kelvora
