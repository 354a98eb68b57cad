#include "tests/hosts/hosts_fixture.h"

#include "hosts/main_window_controls.h"
#include "platform/system.h"
#include "platform/ui/layout.h"
#include "platform/ui/window.h"
#include "util/process_values.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace hoststest {
namespace {

ui::ControlSpec control(ui::ControlKind kind, const char* name, const char* parent = "") {
    ui::ControlSpec spec;
    spec.kind = kind;
    spec.name = name;
    spec.parent = parent;
    return spec;
}

ui::WindowSpec mainWindowSpec() {
    using ui::ControlKind;
    ui::WindowSpec spec;
    spec.name = hosts::kMainWindowName;
    spec.controls.push_back(control(ControlKind::PictureBox, hosts::kPictureBox));
    spec.controls.back().picture = "logo.png";
    spec.controls.push_back(control(ControlKind::Hyperlink, hosts::kStartLink));
    spec.controls.back().text = hosts::kStartLinkIdle;
    spec.controls.push_back(control(ControlKind::ProgressBar, hosts::kProgressBar));
    spec.controls.push_back(control(ControlKind::GroupBox, "分组框1"));
    for (const char* radio : hosts::kSourceRadioButtons)
        spec.controls.push_back(control(ControlKind::RadioButton, radio, "分组框1"));
    spec.controls.push_back(control(ControlKind::CheckBox, hosts::kRawContentCheckBox));
    spec.controls.back().checked = true;
    spec.controls.push_back(control(ControlKind::EditBox, util::kStatusLogControl));
    spec.controls.back().multiline = true;
    return spec;
}

} // namespace

void HostsFixture::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvana-hosts-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    std::filesystem::create_directories(folder_ + "/etc");
    std::filesystem::create_directories(folder_ + "/tmp");
    std::filesystem::create_directories(folder_ + "/bin");
    ASSERT_TRUE(
        platform::writeFile(folder_ + "/bin/resolvectl", std::string("#!/bin/sh\necho ") + kFlushOutput + "\n"));
    ::chmod((folder_ + "/bin/resolvectl").c_str(), 0755);
    const char* path = std::getenv("PATH");
    savedPath_ = path ? path : "/usr/bin:/bin";
    ::setenv("PATH", (folder_ + "/bin:" + savedPath_).c_str(), 1);
    ::setenv("CORVANA_HOSTS", hostsPath().c_str(), 1);
    ::setenv("TMPDIR", (folder_ + "/tmp").c_str(), 1);

    util::setLaunchArguments("");
    util::setHeadless(true);
    toolkit = &testsupport::installScriptedToolkit();
    window = ui::loadWindow(mainWindowSpec(), [](ui::Window&) {});
    util::setMainWindow(window);
}

void HostsFixture::TearDown() {
    util::setMainWindow(nullptr);
    window.reset();
    if (immutable_)
        (void)std::system(("chattr -i '" + hostsPath() + "' 2>/dev/null").c_str());
    ::chmod((folder_ + "/etc").c_str(), 0755);
    ::setenv("PATH", savedPath_.c_str(), 1);
    ::unsetenv("CORVANA_HOSTS");
    ::unsetenv("TMPDIR");
    util::setLaunchArguments("");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
    platform::deleteFile(util::settingsFilePath());
}

void HostsFixture::writeHosts(std::string_view bytes) const {
    ASSERT_TRUE(platform::writeFile(hostsPath(), bytes));
}

std::string HostsFixture::readHosts() const {
    return platform::readTextFile(hostsPath());
}

bool HostsFixture::makeHostsUnwritable() {
    if (::geteuid() != 0)
        return ::chmod(hostsPath().c_str(), 0444) == 0 && ::chmod((folder_ + "/etc").c_str(), 0555) == 0;
    immutable_ = std::system(("chattr +i '" + hostsPath() + "' 2>/dev/null").c_str()) == 0;
    return immutable_;
}

std::vector<std::string> HostsFixture::logLines() const {
    // Every appended line begins with CR LF, also an empty one, so each CR LF starts a line.
    const std::string text = window->text(util::kStatusLogControl);
    std::vector<std::string> lines;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;) {
        const std::size_t next = text.find("\r\n", at + 2);
        lines.push_back(text.substr(at + 2, next == std::string::npos ? std::string::npos : next - at - 2));
        at = next;
    }
    return lines;
}

bool HostsFixture::mainWindowClosed() {
    toolkit->pump();
    return window->closed();
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace hoststest
