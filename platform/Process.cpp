#include "platform/Process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>

extern char** environ;

namespace Platform {

namespace {

// The null-terminated vector posix_spawn takes; it points into `texts`.
std::vector<char*> ArgumentVector(std::vector<std::string>& texts)
{
    std::vector<char*> argv;
    argv.reserve(texts.size() + 1);
    for (std::string& text : texts)
        argv.push_back(&text[0]);
    argv.push_back(nullptr);
    return argv;
}

} // namespace

std::string WithoutEnclosingQuotes(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

int RunProcess(const std::string& program, const std::vector<std::string>& arguments)
{
    try {
        std::vector<std::string> texts;
        texts.reserve(arguments.size());
        for (const std::string& argument : arguments)
            texts.push_back(WithoutEnclosingQuotes(argument));
        std::vector<char*> argv = ArgumentVector(texts);

        pid_t pid = 0;
        // Never a search of PATH, as _spawnv does none: a bare name is a file in the current
        // folder, so a download named "ls" cannot start /usr/bin/ls.
        const int spawned = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
        if (spawned != 0) {
            errno = spawned;
            return -1;
        }
        int status = 0;
        while (waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR)
                return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    } catch (...) {
        // Only an allocation can fail above; the contract is a result, never an exception.
        return -1;
    }
}

bool StartDetachedProcess(const std::string& program, const std::vector<std::string>& arguments)
{
    if (program.empty()) {
        errno = ENOENT;
        return false;
    }
    try {
        std::vector<std::string> texts(arguments);
        std::vector<char*> argv = ArgumentVector(texts);

        // The caller's ignored signals and blocked mask (a GUI framework's, SIGPIPE) are not the
        // started program's business.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &all);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        if (spawned != 0) {
            errno = spawned;
            return false;
        }
        return true;
    } catch (...) {
        errno = ENOMEM;
        return false;
    }
}

} // namespace Platform
