// Runs a program as a child process and collects its standard output, standard error and exit
// code; kills it after a time-out. For tests that check what a whole process prints. The child
// starts with default signal handling and no blocked signal, as from a shell.
#pragma once

#include <map>
#include <string>
#include <vector>

struct ChildResult
{
    int exitCode = -1;     // -1 when the child was killed after the time-out
    bool timedOut = false;
    std::string out;
    std::string err;
};

// A child process that runs while the test goes on (clicks on its window, closes it), then is
// waited for. Its output is collected while it is waited for; a child that prints more than a
// pipe holds before that blocks until then. Killed when the object goes before it ended.
class StartedChild
{
public:
    // As RunChild. Throws std::runtime_error when the program cannot be started. Without
    // `readStdout` the child's standard output is a pipe whose reader has already gone away.
    StartedChild(const std::string& program, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment = {}, bool readStdout = true);
    ~StartedChild();
    StartedChild(const StartedChild&) = delete;
    StartedChild& operator=(const StartedChild&) = delete;

    // True while the process has not ended (it is not reaped here).
    bool Running() const;
    // Reads its output until it closes and waits for the end; kills it after the time-out.
    ChildResult Finish(int timeoutSeconds = 60);

private:
    int pid = -1;
    int outFd = -1;
    int errFd = -1;
    bool finished = false;
};

// `environment` entries are added to (or replace those of) the test's own environment; an
// entry with an empty value removes the variable.
ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment = {},
                     int timeoutSeconds = 60);

// As RunChild, but the child's standard output is a pipe whose reader has already gone away
// (as in "program | head -1" once head has ended); `out` stays empty.
ChildResult RunChildWithoutStdoutReader(const std::string& program, const std::vector<std::string>& arguments,
                                        int timeoutSeconds = 60);

// Path of a program built into the tests' program folder.
std::string TestProgramPath(const std::string& name);
