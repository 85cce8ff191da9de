#include "tests/support/NginxServer.h"

#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/Timespan.h>
#include <boost/filesystem.hpp>

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

const char* const nginxProgram = "/usr/sbin/nginx";

// A port that was free a moment ago; nginx may still lose it to another process, so the
// start is retried.
uint16_t FreePort()
{
    Poco::Net::ServerSocket socket(Poco::Net::SocketAddress("127.0.0.1", 0));
    return socket.address().port();
}

bool Accepts(uint16_t port)
{
    try {
        Poco::Net::StreamSocket socket;
        socket.connect(Poco::Net::SocketAddress("127.0.0.1", port), Poco::Timespan(0, 200000));
        return true;
    } catch (const Poco::Exception&) {
        return false;
    }
}

} // namespace

NginxServer::NginxServer(const std::string& root)
    : root(boost::filesystem::absolute(root).string())
{
    if (!Available())
        return;
    for (int attempt = 0; attempt < 3 && !Started(); ++attempt)
        TryStart();
}

NginxServer::~NginxServer()
{
    StopProcess();
}

bool NginxServer::Available()
{
    return access(nginxProgram, X_OK) == 0;
}

std::string NginxServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

std::string NginxServer::Log() const
{
    return ReadFile(work.Path() / "error.log");
}

bool NginxServer::TryStart()
{
    port = FreePort();
    const std::string dir = work.String() + "/";
    {
        std::ofstream conf(dir + "nginx.conf");
        conf << "daemon off;\n"
             << "worker_processes 1;\n"
             << "pid " << dir << "nginx.pid;\n"
             << "error_log " << dir << "error.log warn;\n";
        // As root, workers would otherwise run as "nobody" and could not read a private folder.
        if (geteuid() == 0)
            conf << "user root;\n";
        conf << "events { worker_connections 64; }\n"
             << "http {\n"
             << "  access_log " << dir << "access.log;\n"
             << "  client_body_temp_path " << dir << "body;\n"
             << "  proxy_temp_path " << dir << "proxy;\n"
             << "  fastcgi_temp_path " << dir << "fastcgi;\n"
             << "  uwsgi_temp_path " << dir << "uwsgi;\n"
             << "  scgi_temp_path " << dir << "scgi;\n"
             << "  default_type application/octet-stream;\n"
             << "  server {\n"
             << "    listen 127.0.0.1:" << port << ";\n"
             << "    root " << root << ";\n"
             // A body filter leaves the length unknown, so nginx sends the same files chunked
             // (and, having no length to cut a range from, ignores ranges there).
             << "    location /chunked/ {\n"
             << "      alias " << root << "/;\n"
             << "      sub_filter_types *;\n"
             << "      sub_filter 'text that no test file holds' '';\n"
             << "    }\n"
             << "  }\n"
             << "}\n";
    }
    try {
        const Poco::Process::Args args = {"-p", dir, "-c", dir + "nginx.conf", "-e", dir + "error.log"};
        process = std::make_unique<Poco::ProcessHandle>(Poco::Process::launch(nginxProgram, args));
    } catch (const Poco::Exception&) {
        process.reset();
        return false;
    }
    // tryWait, unlike isRunning, sees a master that has already ended (a zombie still counts as
    // running for isRunning), and reaps it: it must then not be waited for again.
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
        ended = process->tryWait() != -1;
        if (!ended && Accepts(port)) {
            // Another test may have taken the port first: then nginx fails to bind it and
            // ends at once, and what accepted was not nginx.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (process->tryWait() == -1)
                return true;
            ended = true;
        }
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (ended) {
        process.reset();
        return false;
    }
    StopProcess();
    return false;
}

void NginxServer::StopProcess()
{
    if (!process)
        return;
    try {
        // SIGINT: nginx's fast shutdown; the master stops its worker before it exits.
        Poco::Process::requestTermination(process->id());
        process->wait();
    } catch (const Poco::Exception&) {
        Poco::Process::kill(*process);
    }
    process.reset();
}
