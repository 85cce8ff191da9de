// A real nginx for tests that check the HTTP client against a server it did not write: started
// with a temporary configuration serving one folder on 127.0.0.1 (a free port), stopped when the
// object goes; under "/chunked/" the same files come chunked, without ranges. Needs the nginx
// program (/usr/sbin/nginx).
#pragma once

#include "tests/support/TempDir.h"

#include <Poco/Process.h>

#include <cstdint>
#include <memory>
#include <string>

class NginxServer
{
public:
    // Starts nginx serving `root`; check Started() (and Log() for why it did not start).
    explicit NginxServer(const std::string& root);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    static bool Available();
    bool Started() const { return process != nullptr; }
    uint16_t Port() const { return port; }
    std::string Url(const std::string& path = "") const;
    // nginx's error log so far.
    std::string Log() const;

private:
    bool TryStart();
    void StopProcess();

    TempDir work; // configuration, pid file, logs and temporary files
    std::string root;
    uint16_t port = 0;
    std::unique_ptr<Poco::ProcessHandle> process;
};
