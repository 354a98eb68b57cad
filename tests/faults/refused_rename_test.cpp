// Hosts files that cannot be renamed over, under the real program file: renames refused with EBUSY or EXDEV
// (strace), and a real bind-mounted hosts file as a container has it. The file is then written where it stands,
// correctly, with nothing lost and nothing left beside it.

#include "tests/faults/fault_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <unistd.h>

namespace {

using namespace faultstest;
using testsupport::readFile;
using testsupport::writeFile;

const char* const kStrace = "/usr/bin/strace";

struct Refusal {
    const char* name;
    const char* error;
    bool isInstall;
};
void PrintTo(const Refusal& value, std::ostream* out) {
    *out << value.name;
}

class RefusedRename : public ListRunFixture, public testing::WithParamInterface<Refusal> {};

TEST_P(RefusedRename, WritesTheFileInPlace) {
    if (::access(kStrace, X_OK) != 0)
        GTEST_SKIP() << "strace is not installed";
    const std::string installed = userText + "\n" + block;
    writeFile(hosts, GetParam().isInstall ? userText : installed);
    const std::string injection = std::string("rename,renameat,renameat2:error=") + GetParam().error;
    const std::string trace = program.folder() + "/trace.txt";
    const Ended ended =
        run(GetParam().isInstall ? std::vector<std::string>{"-asp", "-esp"} : std::vector<std::string>{"-dsp", "-esp"},
            {kStrace, "-f", "-qq", "--seccomp-bpf", "-o", trace, "-e", "trace=rename,renameat,renameat2", "-e",
             "inject=" + injection, "--"});
    EXPECT_EQ(ended.exitCode, 0) << output();
    EXPECT_NE(readFile(trace).find("hosts\") = -1 " + std::string(GetParam().error)), std::string::npos)
        << readFile(trace);
    EXPECT_TRUE(isText(readFile(hosts), GetParam().isInstall ? installed : userText)) << output();
    EXPECT_EQ(temporaryFiles(etc, "hosts"), std::vector<std::string>{});
    // Under "-esp" a run that wrote its block ends the program without "Complete".
    EXPECT_NE(output().find(GetParam().isInstall ? "Modify HOSTS...\nRefresh DNS...\n" : "\nRemove Complete\n"),
              std::string::npos)
        << output();
    EXPECT_FALSE(std::filesystem::exists(fallbackFilePath())) << "the block was written; no fallback is needed";
}

INSTANTIATE_TEST_SUITE_P(Errors, RefusedRename,
                         testing::Values(Refusal{"InstallBusy", "EBUSY", true}, Refusal{"ClearBusy", "EBUSY", false},
                                         Refusal{"InstallCrossDevice", "EXDEV", true},
                                         Refusal{"ClearCrossDevice", "EXDEV", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The user's hosts file lives elsewhere and is bind-mounted over etc/hosts, in a mount namespace of the test's own.
class BindMountedHosts : public ListRunFixture {
protected:
    void SetUp() override {
        ListRunFixture::SetUp();
        std::filesystem::create_directories(outside);
        writeFile(outside + "/hosts", userText);
    }
    const std::string outside = program.folder() + "/outside";
};

TEST_F(BindMountedHosts, RunsAndClearingsWriteTheMountedFile) {
    if (!enterPrivateMountNamespace())
        GTEST_SKIP() << "no mount namespace of its own can be made here";
    const ScopedMount mount = ScopedMount::bind(outside + "/hosts", hosts);
    if (!mount.mounted())
        GTEST_SKIP() << "bind mounts are not permitted here";
    const std::string installed = userText + "\n" + block;

    EXPECT_EQ(run({"-asp", "-esp"}).exitCode, 0) << output();
    EXPECT_TRUE(isText(readFile(outside + "/hosts"), installed)) << output();
    EXPECT_NE(output().find("Modify HOSTS...\nRefresh DNS...\n"), std::string::npos) << output();
    EXPECT_FALSE(std::filesystem::exists(fallbackFilePath()));
    // A second run clears the first one's block and installs its own, both in place.
    EXPECT_EQ(run({"-asp", "-esp"}).exitCode, 0) << output();
    EXPECT_TRUE(isText(readFile(outside + "/hosts"), installed)) << output();
    EXPECT_EQ(run({"-dsp", "-esp"}).exitCode, 0) << output();
    EXPECT_TRUE(isText(readFile(outside + "/hosts"), userText)) << output();
    EXPECT_EQ(temporaryFiles(etc, "hosts"), std::vector<std::string>{});
}

// The mounted file's own disk is full: the longer file cannot be written in place, and the old one stays whole.
TEST_F(BindMountedHosts, OnAFullDiskTheRunKeepsTheFileAndEndsWithTheFallbackFile) {
    if (!enterPrivateMountNamespace())
        GTEST_SKIP() << "no mount namespace of its own can be made here";
    // The user's file fills its last page, so that every byte more needs a page the disk does not have.
    constexpr std::size_t kPage = 4096;
    const std::size_t padding = kPage - (userText.size() + 2) % kPage;
    const std::string padded = userText + "#" + std::string(padding, '-') + "\n";
    ASSERT_EQ(padded.size() % kPage, 0u);
    const ScopedMount disk = ScopedMount::tmpfs(outside, padded.size());
    if (!disk.mounted())
        GTEST_SKIP() << "a tmpfs cannot be mounted here";
    writeFile(outside + "/hosts", padded);
    const ScopedMount mount = ScopedMount::bind(outside + "/hosts", hosts);
    if (!mount.mounted())
        GTEST_SKIP() << "bind mounts are not permitted here";

    EXPECT_EQ(run({"-asp", "-esp"}).exitCode, 0) << output();
    EXPECT_TRUE(isText(readFile(outside + "/hosts"), padded)) << output();
    EXPECT_EQ(readFile(fallbackFilePath()), fallbackText);
    EXPECT_NE(output().find("Modify HOSTS...\n" + fallbackFilePath() + "\nComplete\n"), std::string::npos) << output();
    EXPECT_EQ(temporaryFiles(etc, "hosts"), std::vector<std::string>{});
}

} // namespace
