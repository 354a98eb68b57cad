#include "hosts/clear_acceleration.h"
#include "hosts/hosts_file.h"
#include "hosts/service_names.h"
#include "platform/system.h"
#include "tests/hosts/hosts_fixture.h"
#include "util/process_values.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using hoststest::HostsFixture;
using Lines = std::vector<std::string>;

const std::string kStart(hosts::kBlockStartMarker);
const std::string kEnd(hosts::kBlockEndMarker);

// A block as the runs write it into the file: the program's own lines with LF.
std::string fileBlock() {
    return kStart + "\n\n140.82.112.3 github.com\n185.199.108.133 " + "raw.githubusercontent.com\n" + kEnd;
}

const Lines kClearedLog = {"Refresh DNS...", hoststest::kFlushOutput, "Remove Complete"};

struct OriginalCase {
    const char* name;
    std::string bytes;
};
void PrintTo(const OriginalCase& value, std::ostream* out) {
    *out << value.name;
}

class InstallThenClear : public HostsFixture, public testing::WithParamInterface<OriginalCase> {};

TEST_P(InstallThenClear, LeavesTheFileByteForByteAsBefore) {
    writeHosts(hosts::appendBlock(GetParam().bytes, fileBlock()));
    hosts::clearAcceleration();
    EXPECT_EQ(readHosts(), GetParam().bytes);
    EXPECT_EQ(logLines(), kClearedLog);
}

INSTANTIATE_TEST_SUITE_P(
    Files, InstallThenClear,
    testing::Values(OriginalCase{"Lf", "127.0.0.1 localhost\n::1 localhost\n"},
                    OriginalCase{"CrLf", "127.0.0.1 localhost\r\n::1 localhost\r\n"},
                    OriginalCase{"NoFinalLineBreak", "127.0.0.1 localhost"},
                    OriginalCase{"BlankLinesAtTheEnd", "127.0.0.1 localhost\n\n\n"},
                    OriginalCase{
                        "ByteOrderMarkAndInvalidUtf8",
                        "\xEF\xBB\xBF# h\xF4\x90\x80\x80st \xC3\x28\xFF\r\n10.0.0.1 \xE4\xB8\xAD\xE6\x96\x87\n"},
                    // Source 1 writes its block even into an empty hosts file; clearing gives the empty file back.
                    OriginalCase{"Empty", ""}),
    [](const auto& info) { return info.param.name; });

TEST_F(HostsFixture, ClearingTakesOutTwoBlocks) {
    const std::string original = "127.0.0.1 localhost\n";
    writeHosts(hosts::appendBlock(hosts::appendBlock(original, fileBlock()), fileBlock()));
    hosts::clearAcceleration();
    EXPECT_EQ(readHosts(), original);
    EXPECT_EQ(logLines(), kClearedLog);
}

TEST_F(HostsFixture, ClearingWithoutABlockTouchesNothing) {
    const std::string original = "127.0.0.1 localhost\n# GitHub Host Start\n";
    writeHosts(original);
    const auto modified = std::filesystem::last_write_time(hostsPath());
    hosts::clearAcceleration();
    EXPECT_EQ(readHosts(), original);
    EXPECT_EQ(std::filesystem::last_write_time(hostsPath()), modified);
    EXPECT_TRUE(logLines().empty());
}

TEST_F(HostsFixture, ClearingAMissingFileOrAFolderDoesNothing) {
    hosts::clearAcceleration();
    EXPECT_FALSE(platform::fileExists(hostsPath()));
    std::filesystem::create_directory(hostsPath());
    hosts::clearAcceleration();
    EXPECT_TRUE(platform::isDirectory(hostsPath()));
    EXPECT_TRUE(logLines().empty());
}

TEST_F(HostsFixture, ClearingAnUnwritableFileKeepsItAndSaysSo) {
    const std::string content = hosts::appendBlock("127.0.0.1 localhost\n", fileBlock());
    writeHosts(content);
    if (!makeHostsUnwritable())
        GTEST_SKIP() << "the hosts file cannot be made unwritable here";
    hosts::clearAcceleration();
    EXPECT_EQ(readHosts(), content);
    EXPECT_EQ(logLines(), Lines{"Remove error: " + hostsPath() + " cannot be written"});
    EXPECT_EQ(hoststest::folderEntries(folder() + "/etc"), Lines{"hosts"});
}

struct SwitchCase {
    const char* name;
    const char* arguments;
    bool withBlock;
    bool closes;
};
void PrintTo(const SwitchCase& value, std::ostream* out) {
    *out << value.name;
}

class ClearingSwitches : public HostsFixture, public testing::WithParamInterface<SwitchCase> {};

TEST_P(ClearingSwitches, CloseTheMainWindowOnlyWhereTheyShould) {
    util::setLaunchArguments(GetParam().arguments);
    const std::string original = "127.0.0.1 localhost\n";
    writeHosts(GetParam().withBlock ? hosts::appendBlock(original, fileBlock()) : original);
    hosts::clearAcceleration();
    EXPECT_EQ(readHosts(), original);
    EXPECT_EQ(mainWindowClosed(), GetParam().closes);
}

INSTANTIATE_TEST_SUITE_P(Cases, ClearingSwitches,
                         testing::Values(SwitchCase{"DspAloneStaysOpen", "-dsp", true, false},
                                         SwitchCase{"DspAndEspEndAfterClearing", "-dsp-ESP", true, true},
                                         SwitchCase{"DspAndEspWithoutBlockEndAtOnce", "-dsp -esp", false, true},
                                         SwitchCase{"EspWithoutBlockEnds", "-esp", false, true},
                                         SwitchCase{"EspWithBlockStaysOpen", "-esp", true, false},
                                         SwitchCase{"NoSwitchStaysOpen", "", false, false}),
                         [](const auto& info) { return info.param.name; });

TEST_F(HostsFixture, FlushLogsAnEmptyLineWhenNoFlushCommandIsInstalled) {
    ::setenv("PATH", (folder() + "/nothing").c_str(), 1);
    hosts::flushResolverCache();
    EXPECT_EQ(logLines(), (Lines{"Refresh DNS...", ""}));
}

TEST_F(HostsFixture, FallbackFileOfADirectConversionRunHasNoMarkerLines) {
    // Source 5 hands over its address lines alone, beginning with the line break.
    const std::string addressText = "\n140.82.112.3 github.io\n140.82.112.4 github.com";
    testing::internal::CaptureStdout();
    hosts::showFallbackText(addressText);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), folder() + "/tmp/GithubHost.txt\n");
    EXPECT_EQ(
        platform::readTextFile(folder() + "/tmp/GithubHost.txt"),
        "你好，程序无法正常修改Hosts文件\n请将以下文本复制到Hosts文件内：\n\n140.82.112.3 github.io\n140.82.112.4 "
        "github.com");
}

} // namespace
