// The real program file, headless, clearing the acceleration from the "-dsp" switch.

#include "tests/support/program_run.h"

#include <gtest/gtest.h>

namespace {

using testsupport::ProgramCopy;
using testsupport::readFile;
using testsupport::writeFile;

const std::string kBlock =
    "# GitHub Host Start\n140.82.112.4 github.com\n140.82.112.4 api.github.com\n# GitHub Host End";
// User lines of every kind: a byte-order mark, CR LF and LF lines, bytes that are not UTF-8.
const std::string kUserText = "\xEF\xBB\xBF# hosts\r\n127.0.0.1 localhost\r\n::1 ip6-localhost\n10.0.0.1 caf\xE9\n";

class HeadlessClear : public ::testing::Test {
protected:
    ProgramCopy program;
    std::string hosts = program.folder() + "/hosts";
    void SetUp() override { program.environment["CORVANA_HOSTS"] = hosts; }
};

TEST_F(HeadlessClear, RemovesEveryBlockLogsAndEnds) {
    writeFile(hosts, kUserText + "\n" + kBlock + "\n" + kBlock);
    const auto result = program.run({"-dsp", "-esp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Refresh DNS...\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Remove Complete\n"), std::string::npos) << result.out;
    // Each block goes with the line break its run wrote ahead of it.
    EXPECT_EQ(readFile(hosts), kUserText);
}

TEST_F(HeadlessClear, LeavesTheUserLinesByteForByte) {
    writeFile(hosts, kUserText + "\n" + kBlock);
    const auto result = program.run({"-DSP", "-e", "sp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(hosts), kUserText);
}

TEST_F(HeadlessClear, WithoutABlockEndsAtOnceAndWritesNothing) {
    writeFile(hosts, kUserText);
    const auto result = program.run({"-dsp", "-esp"}, std::chrono::seconds(10));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.find("Remove Complete"), std::string::npos);
    EXPECT_EQ(readFile(hosts), kUserText);
}

TEST_F(HeadlessClear, MissingHostsFileEndsWithoutCreatingOne) {
    const auto result = program.run({"-dsp", "-esp"}, std::chrono::seconds(10));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(hosts), "");
}

TEST_F(HeadlessClear, WithoutEndSwitchStaysUntilTerminatedAndSavesSettings) {
    writeFile(hosts, kUserText + "\n" + kBlock);
    const auto result = program.run({"-dsp"}, std::chrono::seconds(20), "Remove Complete");
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(hosts), kUserText);
    // The destruction handler ran on the way out: the first start's defaults are now in the settings file.
    const std::string settings = readFile(program.settingsPath());
    EXPECT_NE(settings.find("Data=5"), std::string::npos) << settings;
    EXPECT_NE(settings.find("AutoMode=0"), std::string::npos) << settings;
    EXPECT_NE(settings.find("rawgithubusercontentcom=1"), std::string::npos) << settings;
}

} // namespace
