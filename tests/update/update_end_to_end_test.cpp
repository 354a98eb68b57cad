// An accepted update from start to end: the probe plays the running program (the real program offers no way to
// answer Yes without a display), downloads the real program file served from loopback, starts the update script
// and ends; the script replaces the probe's file with the new program and starts it.

#include "platform/system.h"
#include "tests/support/program_run.h"
#include "tests/update/child_run.h"
#include "tests/update/probe_run.h"
#include "tests/update/share_pages.h"
#include "tests/update/update_site.h"
#include "update/install_update.h"
#include "update/update_addresses.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace updatetest {
namespace {

/// Waits until the predicate holds; false when the time ran out first.
bool waitUntil(const std::function<bool()>& predicate, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

/// Ends the processes at the end of the test, also when an assertion fails on the way.
struct ProcessesEnded {
    std::string path;
    ~ProcessesEnded() {
        for (const int id : processesRunning(path))
            ::kill(id, SIGTERM);
        waitUntil([this] { return processesRunning(path).empty(); }, std::chrono::seconds(10));
        for (const int id : processesRunning(path))
            ::kill(id, SIGKILL);
    }
};

TEST(UpdateEndToEndTest, AcceptedUpdateReplacesTheProgramAndStartsTheNewOne) {
    UpdateSite site;
    // A blank in the program file's name: the script must quote it.
    ProbeCopy probe("1.2.1.0", "Corvana Update Test");
    const testsupport::ProgramCopy realProgram;
    const std::string newProgram = withVersion(testsupport::readFile(realProgram.programPath()), "2.0.0.0");
    site.note(std::string(update::kNoteId),
              "<div>最新版本【2.0.0.0】最新版本</div><div>下载地址【iAbC123xyz】下载地址</div>"
              "<div>-更新内容</div><div>新的版本</div><div>-更新内容</div>");
    servePublicShare(site, "/iAbC123xyz");
    site.answer(kFileHost, "/download/corvana-update?sign=ok",
                {200, {{"Content-Type", "application/octet-stream"}}, newProgram});
    ProcessesEnded cleanup{probe.programPath()};

    const ProbeReport report = probe.check(site, {"yes"});

    // The old program ended itself at once with 0, after the offer and without any error box.
    EXPECT_EQ(report.run.exitCode, 0) << report.run.out << report.run.err;
    const std::string script = probe.folder() + "/" + std::string(update::kUpdateScriptName);
    ASSERT_TRUE(waitUntil([&] { return !std::filesystem::exists(script); }, std::chrono::seconds(20)))
        << "the update script did not finish";
    ASSERT_TRUE(waitUntil([&] { return !processesRunning(probe.programPath()).empty(); }, std::chrono::seconds(10)))
        << "the new program was not started";

    EXPECT_TRUE(testsupport::readFile(probe.programPath()) == newProgram) << "the new program is not in place";
    EXPECT_EQ(platform::readFileVersion(probe.programPath()), "2.0.0.0");
    struct stat status {};
    ASSERT_EQ(::stat(probe.programPath().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0755u);
    EXPECT_EQ(probe.runDirectoryListing(), (std::vector<std::string>{"Corvana Update Test", "最新版本下载链接.txt"}))
        << "the script and the empty temporary folder are gone";
    EXPECT_EQ(processesRunning(probe.programPath()).size(), 1u);
}

} // namespace
} // namespace updatetest
