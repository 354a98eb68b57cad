#pragma once

// Runs a copy of the real program file in a scratch folder of its own, headless, and collects what it printed.

#include "tests/support/temp_dir.h"

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

/// The outcome of one run of the program.
struct ProgramResult {
    int exitCode = -1;     ///< the exit status, or 128 + signal when killed, -1 when it could not start
    bool timedOut = false; ///< the run was killed after its time limit
    std::string out;       ///< standard output
    std::string err;       ///< standard error
    /// The program's peak resident memory in KiB (its ru_maxrss); 0 when it could not start.
    long peakMemoryKiB = 0;
    /// From the start of the program to its end.
    std::chrono::milliseconds elapsed{0};
};

/// A scratch folder holding a copy of the program file; its settings file, temporary folder and autostart folder
/// all live inside it.
class ProgramCopy {
public:
    /// Copies the program file (the build's corvana) into a fresh scratch folder.
    ProgramCopy();
    ~ProgramCopy();
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;

    /// The scratch folder, without a trailing "/".
    [[nodiscard]] const std::string& folder() const { return folder_; }
    /// The program copy's path.
    [[nodiscard]] std::string programPath() const { return folder_ + "/corvana"; }
    /// The copy's settings file.
    [[nodiscard]] std::string settingsPath() const { return folder_ + "/Corvana配置.ini"; }
    /// The folder the copy uses as its temporary folder, ending in "/".
    [[nodiscard]] std::string temporaryFolder() const { return folder_ + "/tmp/"; }
    /// The autostart folder the copy uses, ending in "/".
    [[nodiscard]] std::string autostartFolder() const { return folder_ + "/config/autostart/"; }

    /// Environment settings added to the run (CORVANA_HOSTS, CORVANA_CONNECT_TO, https_proxy, ...).
    std::map<std::string, std::string> environment;

    /// Runs the copy headless with the arguments; kills it after the limit. When `terminateAfter` is given, the
    /// program gets SIGTERM once its standard output contains that text.
    ProgramResult run(const std::vector<std::string>& arguments,
                      std::chrono::milliseconds limit = std::chrono::seconds(60),
                      const std::string& terminateAfter = {}) const;

private:
    std::string folder_;
};

} // namespace testsupport
