// An HTTP server for tests on Poco's HTTPServer, bound to 127.0.0.1 on an ephemeral port. Each
// path answers what the test scripted (JSON, files with ranges, status codes, and faults such as
// a dropped connection or a silent server); every request is recorded so tests can check what the
// client sent. Shared by the HTTP client, downloader and end-to-end tests and by test_http_server.
#pragma once

#include <Poco/Net/HTTPServer.h>
#include <Poco/ThreadPool.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the client sent.
struct RecordedRequest
{
    std::string method;
    std::string uri;           // path and query, as sent
    std::string path;          // without the query
    std::string range;         // "Range" header, empty when none
    std::string authorization; // "Authorization" header, empty when none
    std::string host;          // "Host" header
    std::vector<std::pair<std::string, std::string>> headers; // all of them, in order
};

// One scripted answer. The head is written as given; the body is framed as chosen and may be
// cut off or delayed to imitate a faulty peer.
struct HttpTestAnswer
{
    enum class Framing {
        ContentLength,  // "Content-Length" = announcedLength, or the body's size
        Chunked,        // "Transfer-Encoding: chunked", in chunks of chunkSize bytes
        CloseDelimited, // no length: the body ends when the connection is closed
    };

    int status = 200;
    std::string reason; // empty: Poco's reason phrase for the status
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    Framing framing = Framing::ContentLength;
    std::optional<int64_t> announcedLength; // a Content-Length that differs from the body
    size_t chunkSize = 100;
    // The size line of chunk `index` (from 0) of `length` bytes, for a malformed one; empty: the
    // length in hexadecimal and CR LF. The last chunk ("0") is not asked for.
    std::function<std::string(size_t index, size_t length)> chunkSizeLine;

    // Faults.
    std::chrono::milliseconds stallBeforeHead{0};    // silent before the head is written
    std::optional<size_t> stallAfterBytes;           // silent after this many body bytes...
    std::chrono::milliseconds stallFor{0};           // ...for this long, then goes on
    std::optional<size_t> dropAfterBytes;            // closes the connection after this many body bytes
    bool resetOnDrop = false;                        // the drop is a TCP reset, not an orderly close

    HttpTestAnswer& Header(const std::string& name, const std::string& value);
    // Replaces every header of that name (letters compared without regard to case) with one.
    HttpTestAnswer& SetHeader(const std::string& name, const std::string& value);

    static HttpTestAnswer Json(const std::string& json, int status = 200);
    static HttpTestAnswer Status(int status, const std::string& body = "");
    static HttpTestAnswer Text(const std::string& body, Framing framing = Framing::ContentLength);
};

// How a file served with ServeFile answers ranges, and the faults it adds to its answers.
struct HttpTestFileOptions
{
    bool honourRange = true;                   // false: every answer is a full 200
    std::string badContentRangeTotal;          // non-empty: 416 answers give this text as the total
    bool omitContentRangeOn416 = false;
    std::function<void(HttpTestAnswer&, size_t requestIndex)> adjust; // last word on each answer
};

// The answer of a file of `content` to a request with Range header `range` ("" for none):
// 200, 206 for "bytes=N-" or "bytes=N-M" with Content-Range "bytes N-M/size", or 416 with
// "bytes */size" when N is at or beyond the end.
HttpTestAnswer FileAnswer(const std::string& content, const std::string& range, const HttpTestFileOptions& options = {});

class HttpTestServer
{
public:
    using Handler = std::function<HttpTestAnswer(const RecordedRequest& request, size_t requestIndex)>;

    // Starts at once on 127.0.0.1 with an ephemeral port. Unscripted paths answer 404.
    HttpTestServer();
    // Stops the server; stalled answers are cut short so that it never waits for them.
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    uint16_t Port() const { return port; }
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string Url(const std::string& path = "") const;
    // "127.0.0.1:<port>" followed by `path`: a URL without a scheme.
    std::string HostAndPort(const std::string& path = "") const;

    // Scripts a path (without the query); may be called while the server runs. `requestIndex`
    // counts the requests to that path, from 0.
    void SetHandler(const std::string& path, Handler handler);
    void SetAnswer(const std::string& path, const HttpTestAnswer& answer);
    // Answers in turn; the last one repeats.
    void SetAnswers(const std::string& path, const std::vector<HttpTestAnswer>& answers);
    void ServeFile(const std::string& path, const std::string& content, const HttpTestFileOptions& options = {});
    // Every path under `prefix` ("/files/") answers the file of the same name in `folder`, read
    // at request time, with ranges; 404 when there is none.
    void ServeFolder(const std::string& prefix, const std::string& folder);

    std::vector<RecordedRequest> Requests() const;
    std::vector<RecordedRequest> RequestsFor(const std::string& path) const;
    void ClearRequests();

    void Stop();

private:
    class HandlerFactory;
    class RequestHandler;
    friend class RequestHandler;

    // Finds the answer for one request, on a server thread.
    HttpTestAnswer Answer(const RecordedRequest& request);
    // Sleeps for `duration` or until Stop; false when stopped.
    bool Pause(std::chrono::milliseconds duration);

    // The server's own threads, joined by Stop so that no handler outlives this object.
    Poco::ThreadPool threads;
    std::unique_ptr<Poco::Net::HTTPServer> server;
    uint16_t port = 0;

    // Guards the scripts, the counters and the records; taken by the test thread and the
    // server's connection threads.
    mutable std::mutex mutex;
    std::map<std::string, Handler> handlers;
    std::map<std::string, Handler> prefixHandlers;
    std::map<std::string, size_t> requestCounts;
    std::vector<RecordedRequest> requests;

    // Guards `stopping`; signalled by Stop to end the pauses of stalled answers.
    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false;
};
