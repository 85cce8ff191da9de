#include "tests/support/ChildProcess.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace {

std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& changes)
{
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals != std::string::npos)
            merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& change : changes) {
        if (change.second.empty())
            merged.erase(change.first);
        else
            merged[change.first] = change.second;
    }
    std::vector<std::string> result;
    for (const auto& entry : merged)
        result.push_back(entry.first + "=" + entry.second);
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(&text[0]);
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

StartedChild::StartedChild(const std::string& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment, bool readStdout)
{
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0)
        throw std::runtime_error("pipe failed");
    if (pipe(errPipe) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        throw std::runtime_error("pipe failed");
    }
    if (!readStdout) {
        close(outPipe[0]);
        outPipe[0] = -1;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    if (outPipe[0] >= 0)
        posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);

    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envp = ChildEnvironment(environment);
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> envPointers = Pointers(envp);

    // The child starts as it would from a shell: signals the test process ignores or blocks
    // (the network library ignores SIGPIPE) are not passed on.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t started = 0;
    const int spawned =
        posix_spawn(&started, program.c_str(), &actions, &attributes, argvPointers.data(), envPointers.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        if (outPipe[0] >= 0)
            close(outPipe[0]);
        close(errPipe[0]);
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(spawned));
    }
    pid = started;
    outFd = outPipe[0];
    errFd = errPipe[0];
}

StartedChild::~StartedChild()
{
    if (!finished) {
        kill(pid, SIGKILL);
        Finish(10);
    }
}

bool StartedChild::Running() const
{
    if (finished)
        return false;
    siginfo_t info{};
    // WNOWAIT: look without reaping, so Finish still collects the exit code.
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

ChildResult StartedChild::Finish(int timeoutSeconds)
{
    ChildResult result;
    if (finished)
        return result;
    finished = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = (outFd >= 0 ? 1 : 0) + (errFd >= 0 ? 1 : 0);
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char chunk[4096];
            const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
            if (n > 0) {
                sinks[i]->append(chunk, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& fd : fds) {
        if (fd.fd >= 0)
            close(fd.fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = !result.timedOut && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment, int timeoutSeconds)
{
    StartedChild child(program, arguments, environment);
    return child.Finish(timeoutSeconds);
}

ChildResult RunChildWithoutStdoutReader(const std::string& program, const std::vector<std::string>& arguments,
                                        int timeoutSeconds)
{
    StartedChild child(program, arguments, {}, false);
    return child.Finish(timeoutSeconds);
}

std::string TestProgramPath(const std::string& name)
{
    return std::string(UPDATER_TEST_BIN_DIR) + "/" + name;
}
