#include "platform/Process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace Platform {

namespace {

std::string WithoutEnclosingQuotes(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

} // namespace

int RunProcess(const std::string& program, const std::vector<std::string>& arguments)
{
    try {
        std::vector<std::string> texts;
        texts.reserve(arguments.size());
        for (const std::string& argument : arguments)
            texts.push_back(WithoutEnclosingQuotes(argument));
        std::vector<char*> argv;
        for (std::string& text : texts)
            argv.push_back(&text[0]);
        argv.push_back(nullptr);

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

} // namespace Platform
