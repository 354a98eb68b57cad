#pragma once

// Running a program file of the tests as a child process: its own environment additions, standard output and
// error collected, killed after a time limit. Update checks that may end in an install run this way, so that the
// program file being replaced is a copy in a scratch folder and never the test program itself.

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace updatetest {

struct ChildResult {
    int exitCode = -1; ///< the exit status, 128 + signal when killed, -1 when it could not start
    bool timedOut = false;
    std::string out;
    std::string err;
};

/// Runs the program with the arguments and waits for it. The environment is this process's without any display
/// (the child is headless), with HOME, XDG_CONFIG_HOME and TMPDIR under `scratch`, plus `environment`.
ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment, const std::string& scratch,
                     std::chrono::milliseconds limit = std::chrono::seconds(60));

/// Ids of the processes whose program image is the file at the path.
std::vector<int> processesRunning(const std::string& path);

/// The file with the first occurrence of the version marker's value replaced by `version` (same length).
std::string withVersion(std::string programBytes, const std::string& version);

} // namespace updatetest
