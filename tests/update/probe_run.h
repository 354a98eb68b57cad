#pragma once

// The update-check probe (update_check_probe.cpp) run as a copy in a scratch folder of its own: the folder is its
// run directory, so the download-link file, the temporary folder and the update script land there, and an update
// that installs replaces the copy, never a file of the build.

#include "platform/ui/toolkit.h"
#include "tests/support/temp_dir.h"
#include "tests/update/child_run.h"
#include "tests/update/update_site.h"

#include <string>
#include <vector>

namespace updatetest {

/// What one check showed the user.
struct ProbeReport {
    ChildResult run;
    std::vector<ui::MessageBoxRequest> boxes;
    /// The status log's lines after the initial text.
    std::vector<std::string> log;
    std::string linkText;
    bool linkDisabled = true;
    /// The version link's changes in order: "disabled", "enabled", "text <text>".
    std::vector<std::string> linkHistory;
};

class ProbeCopy {
public:
    /// Copies the probe into a fresh scratch folder under `fileName`, its version marker set to `version`.
    ProbeCopy(const std::string& version, const std::string& fileName = "corvana");

    [[nodiscard]] const std::string& folder() const { return scratch_.path(); }
    [[nodiscard]] const std::string& programPath() const { return program_; }
    /// The probe's bytes as copied.
    [[nodiscard]] const std::string& programBytes() const { return bytes_; }
    /// The names in the run directory besides the probe's own scratch home, sorted.
    [[nodiscard]] std::vector<std::string> runDirectoryListing() const;

    /// Runs one check against the site, answering the Yes/No questions in order.
    ProbeReport check(const UpdateSite& site, const std::vector<std::string>& answers = {}) const;

private:
    testsupport::TempDir scratch_;
    std::string program_;
    std::string bytes_;
};

} // namespace updatetest
