#include "tests/support/HttpTestServer.h"

#include <Poco/Net/HTTPRequestHandler.h>
#include <Poco/Net/HTTPRequestHandlerFactory.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/Net/HTTPServerParams.h>
#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerRequestImpl.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/Timespan.h>
#include <Poco/String.h>
#include <Poco/URI.h>
#include <boost/filesystem.hpp>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

// Writes all of `data`; false when the peer is gone.
bool SendAll(Poco::Net::StreamSocket& socket, const std::string& data)
{
    size_t sent = 0;
    try {
        while (sent < data.size()) {
            const int n = socket.sendBytes(data.data() + sent, static_cast<int>(data.size() - sent));
            if (n <= 0)
                return false;
            sent += static_cast<size_t>(n);
        }
    } catch (const Poco::Exception&) {
        return false;
    }
    return true;
}

std::string Hex(size_t value)
{
    std::ostringstream text;
    text << std::hex << value;
    return text.str();
}

// "bytes=N-" or "bytes=N-M" as (N, M or -1); false for anything else.
bool ParseRange(const std::string& range, uint64_t& first, int64_t& last)
{
    const std::string prefix = "bytes=";
    if (range.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string bounds = range.substr(prefix.size());
    const size_t dash = bounds.find('-');
    if (dash == std::string::npos || dash == 0)
        return false;
    try {
        first = std::stoull(bounds.substr(0, dash));
        last = dash + 1 < bounds.size() ? static_cast<int64_t>(std::stoull(bounds.substr(dash + 1))) : -1;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

} // namespace

HttpTestAnswer& HttpTestAnswer::Header(const std::string& name, const std::string& value)
{
    headers.emplace_back(name, value);
    return *this;
}

HttpTestAnswer& HttpTestAnswer::SetHeader(const std::string& name, const std::string& value)
{
    headers.erase(std::remove_if(headers.begin(), headers.end(),
                                 [&](const std::pair<std::string, std::string>& header) {
                                     return Poco::icompare(header.first, name) == 0;
                                 }),
                  headers.end());
    return Header(name, value);
}

HttpTestAnswer HttpTestAnswer::Json(const std::string& json, int status)
{
    HttpTestAnswer answer;
    answer.status = status;
    answer.body = json;
    answer.Header("Content-Type", "application/json");
    return answer;
}

HttpTestAnswer HttpTestAnswer::Status(int status, const std::string& body)
{
    HttpTestAnswer answer;
    answer.status = status;
    answer.body = body;
    return answer;
}

HttpTestAnswer HttpTestAnswer::Text(const std::string& body, Framing framing)
{
    HttpTestAnswer answer;
    answer.body = body;
    answer.framing = framing;
    return answer;
}

HttpTestAnswer FileAnswer(const std::string& content, const std::string& range, const HttpTestFileOptions& options)
{
    HttpTestAnswer answer;
    answer.Header("Content-Type", "application/octet-stream");
    uint64_t first = 0;
    int64_t last = -1;
    if (!options.honourRange || range.empty() || !ParseRange(range, first, last)) {
        answer.body = content;
        return answer;
    }
    const std::string size = std::to_string(content.size());
    if (first >= content.size()) {
        answer.status = 416;
        if (!options.omitContentRangeOn416)
            answer.Header("Content-Range", "bytes */" + (options.badContentRangeTotal.empty() ? size : options.badContentRangeTotal));
        return answer;
    }
    uint64_t end = content.size() - 1;
    if (last >= 0)
        end = std::min(end, static_cast<uint64_t>(last));
    answer.status = 206;
    answer.Header("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(end) + "/" + size);
    answer.body = content.substr(first, end - first + 1);
    return answer;
}

// Writes the scripted answer itself on the detached socket, so that it can lie about lengths,
// stall and drop the connection at any byte.
class HttpTestServer::RequestHandler : public Poco::Net::HTTPRequestHandler
{
public:
    explicit RequestHandler(HttpTestServer& owner) : owner(owner) {}

    void handleRequest(Poco::Net::HTTPServerRequest& request, Poco::Net::HTTPServerResponse&) override
    {
        RecordedRequest recorded;
        recorded.method = request.getMethod();
        recorded.uri = request.getURI();
        recorded.path = recorded.uri.substr(0, recorded.uri.find('?'));
        recorded.range = request.get("Range", "");
        recorded.authorization = request.get("Authorization", "");
        recorded.host = request.get("Host", "");
        for (const auto& header : request)
            recorded.headers.emplace_back(header.first, header.second);

        HttpTestAnswer answer;
        try {
            answer = owner.Answer(recorded);
        } catch (const std::exception& error) {
            answer = HttpTestAnswer::Status(500, error.what());
        }
        Poco::Net::StreamSocket socket = static_cast<Poco::Net::HTTPServerRequestImpl&>(request).detachSocket();
        socket.setSendTimeout(Poco::Timespan(5, 0));
        Write(socket, answer);
        try {
            if (answer.dropAfterBytes && answer.resetOnDrop)
                socket.setLinger(true, 0);
            else
                socket.shutdownSend();
        } catch (const Poco::Exception&) {
            // the peer is gone already
        }
        // Closed here in any case, not by whichever thread drops the last reference.
        try {
            socket.close();
        } catch (const Poco::Exception&) {
        }
    }

private:
    void Write(Poco::Net::StreamSocket& socket, const HttpTestAnswer& answer)
    {
        if (answer.stallBeforeHead.count() > 0 && !owner.Pause(answer.stallBeforeHead))
            return;
        const std::string reason = answer.reason.empty()
            ? Poco::Net::HTTPResponse::getReasonForStatus(static_cast<Poco::Net::HTTPResponse::HTTPStatus>(answer.status))
            : answer.reason;
        std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " " + reason + "\r\n";
        for (const auto& header : answer.headers)
            head += header.first + ": " + header.second + "\r\n";
        const bool chunked = answer.framing == HttpTestAnswer::Framing::Chunked;
        if (answer.framing == HttpTestAnswer::Framing::ContentLength)
            head += "Content-Length: " + std::to_string(answer.announcedLength.value_or(static_cast<int64_t>(answer.body.size()))) + "\r\n";
        if (chunked)
            head += "Transfer-Encoding: chunked\r\n";
        head += "Connection: close\r\n\r\n";
        if (!SendAll(socket, head))
            return;

        const std::string& body = answer.body;
        const size_t chunkSize = std::max<size_t>(answer.chunkSize, 1);
        bool stalled = false;
        size_t at = 0;
        for (size_t chunk = 0; at < body.size(); ++chunk) {
            const size_t chunkEnd = std::min(body.size(), chunked ? at + chunkSize : body.size());
            const std::string sizeLine =
                answer.chunkSizeLine ? answer.chunkSizeLine(chunk, chunkEnd - at) : Hex(chunkEnd - at) + "\r\n";
            if (chunked && !SendAll(socket, sizeLine))
                return;
            while (at < chunkEnd) {
                size_t pieceEnd = chunkEnd;
                if (answer.dropAfterBytes)
                    pieceEnd = std::min(pieceEnd, std::max(at, *answer.dropAfterBytes));
                if (answer.stallAfterBytes && !stalled)
                    pieceEnd = std::min(pieceEnd, std::max(at, *answer.stallAfterBytes));
                if (pieceEnd > at && !SendAll(socket, body.substr(at, pieceEnd - at)))
                    return;
                at = pieceEnd;
                if (answer.dropAfterBytes && at >= *answer.dropAfterBytes)
                    return;
                if (answer.stallAfterBytes && !stalled && at >= *answer.stallAfterBytes) {
                    stalled = true;
                    if (!owner.Pause(answer.stallFor))
                        return;
                }
            }
            if (chunked && !SendAll(socket, "\r\n"))
                return;
        }
        if (answer.dropAfterBytes && *answer.dropAfterBytes <= body.size())
            return;
        if (chunked)
            SendAll(socket, "0\r\n\r\n");
    }

    HttpTestServer& owner;
};

class HttpTestServer::HandlerFactory : public Poco::Net::HTTPRequestHandlerFactory
{
public:
    explicit HandlerFactory(HttpTestServer& owner) : owner(owner) {}

    Poco::Net::HTTPRequestHandler* createRequestHandler(const Poco::Net::HTTPServerRequest&) override
    {
        return new RequestHandler(owner);
    }

private:
    HttpTestServer& owner;
};

HttpTestServer::HttpTestServer()
    : threads(2, 16)
{
    Poco::Net::ServerSocket socket(Poco::Net::SocketAddress("127.0.0.1", 0));
    port = socket.address().port();
    auto* params = new Poco::Net::HTTPServerParams;
    params->setKeepAlive(false);
    params->setMaxThreads(16);
    server = std::make_unique<Poco::Net::HTTPServer>(new HandlerFactory(*this), threads, socket, params);
    server->start();
}

HttpTestServer::~HttpTestServer()
{
    Stop();
}

void HttpTestServer::Stop()
{
    {
        std::lock_guard<std::mutex> lock(stopMutex);
        if (stopping)
            return;
        stopping = true;
    }
    stopSignal.notify_all();
    server->stopAll(true);
    // Handlers still running refer to this object: wait until they are done.
    threads.joinAll();
}

std::string HttpTestServer::Url(const std::string& path) const
{
    return "http://" + HostAndPort(path);
}

std::string HttpTestServer::HostAndPort(const std::string& path) const
{
    return "127.0.0.1:" + std::to_string(port) + path;
}

void HttpTestServer::SetHandler(const std::string& path, Handler handler)
{
    std::lock_guard<std::mutex> lock(mutex);
    handlers[path] = std::move(handler);
}

void HttpTestServer::SetAnswer(const std::string& path, const HttpTestAnswer& answer)
{
    SetHandler(path, [answer](const RecordedRequest&, size_t) { return answer; });
}

void HttpTestServer::SetAnswers(const std::string& path, const std::vector<HttpTestAnswer>& answers)
{
    SetHandler(path, [answers](const RecordedRequest&, size_t index) {
        return answers.empty() ? HttpTestAnswer::Status(404) : answers[std::min(index, answers.size() - 1)];
    });
}

void HttpTestServer::ServeFile(const std::string& path, const std::string& content, const HttpTestFileOptions& options)
{
    SetHandler(path, [content, options](const RecordedRequest& request, size_t index) {
        HttpTestAnswer answer = FileAnswer(content, request.range, options);
        if (options.adjust)
            options.adjust(answer, index);
        return answer;
    });
}

void HttpTestServer::ServeFolder(const std::string& prefix, const std::string& folder)
{
    Handler handler = [prefix, folder](const RecordedRequest& request, size_t) {
        const std::string name = Poco::URI(request.path).getPath().substr(prefix.size());
        const boost::filesystem::path file = boost::filesystem::path(folder) / name;
        boost::system::error_code error;
        if (name.empty() || name.find("..") != std::string::npos || !boost::filesystem::is_regular_file(file, error))
            return HttpTestAnswer::Status(404);
        std::ifstream stream(file.string(), std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
        return FileAnswer(content, request.range);
    };
    std::lock_guard<std::mutex> lock(mutex);
    prefixHandlers[prefix] = std::move(handler);
}

std::vector<RecordedRequest> HttpTestServer::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
}

std::vector<RecordedRequest> HttpTestServer::RequestsFor(const std::string& path) const
{
    std::vector<RecordedRequest> matching;
    for (const RecordedRequest& request : Requests())
        if (request.path == path)
            matching.push_back(request);
    return matching;
}

void HttpTestServer::ClearRequests()
{
    std::lock_guard<std::mutex> lock(mutex);
    requests.clear();
}

HttpTestAnswer HttpTestServer::Answer(const RecordedRequest& request)
{
    Handler handler;
    size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back(request);
        index = requestCounts[request.path]++;
        auto exact = handlers.find(request.path);
        if (exact != handlers.end()) {
            handler = exact->second;
        } else {
            // The longest matching prefix wins.
            for (const auto& entry : prefixHandlers)
                if (request.path.compare(0, entry.first.size(), entry.first) == 0)
                    handler = entry.second;
        }
    }
    return handler ? handler(request, index) : HttpTestAnswer::Status(404, "not scripted");
}

bool HttpTestServer::Pause(std::chrono::milliseconds duration)
{
    std::unique_lock<std::mutex> lock(stopMutex);
    return !stopSignal.wait_for(lock, duration, [this] { return stopping; });
}

// Poco is not built with ThreadSanitizer, so TSan cannot see the atomic reference count with which
// the acceptor thread hands a socket to a connection thread, and reports the acceptor's release of
// the socket as a race with the handler's use of it. Only the acceptor's own frame is excused.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:Poco::Net::TCPServer::run\n";
}
