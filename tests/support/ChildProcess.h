// Runs a program as a child process and collects its standard output, standard error and exit
// code; kills it after a time-out. For tests that check what a whole process prints.
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
