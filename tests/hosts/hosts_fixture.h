#pragma once

// A sandbox for tests of the hosts subsystem: a temporary folder holding the hosts file ($CORVANA_HOSTS), the
// temporary folder of the fallback file ($TMPDIR) and a stand-in "resolvectl" on PATH; a scripted toolkit whose UI
// thread is the test's; and a main window built from a small layout with the control names the runs write.

#include "tests/support/scripted_toolkit.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui {
class Window;
}

namespace hoststest {

/// What the stand-in "resolvectl flush-caches" prints.
inline constexpr const char* kFlushOutput = "Flushed the caches";

class HostsFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// The sandbox folder, without a trailing "/".
    [[nodiscard]] const std::string& folder() const { return folder_; }
    [[nodiscard]] std::string hostsPath() const { return folder_ + "/etc/hosts"; }
    void writeHosts(std::string_view bytes) const;
    [[nodiscard]] std::string readHosts() const;
    /// Makes the hosts file impossible to write, also for root; false when the system does not allow it.
    [[nodiscard]] bool makeHostsUnwritable();

    /// The status log's lines in order (the text after each CR LF appended).
    [[nodiscard]] std::vector<std::string> logLines() const;
    /// Runs the posted work and answers whether the main window has been destroyed.
    [[nodiscard]] bool mainWindowClosed();

    testsupport::ScriptedToolkit* toolkit = nullptr;
    std::shared_ptr<ui::Window> window;

private:
    std::string folder_;
    std::string savedPath_;
    bool immutable_ = false;
};

/// Names of the entries of a folder, sorted.
[[nodiscard]] std::vector<std::string> folderEntries(const std::string& folder);

} // namespace hoststest
