#include "platform/system.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

using testsupport::listFolder;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

constexpr const char* kFileName = "Corvana配置.ini";

struct ReadCase {
    const char* name;
    std::optional<std::string> content; ///< no file when absent
    std::string section;
    std::string key;
    std::optional<std::string> defaultValue;
    std::string expected;
};

void PrintTo(const ReadCase& c, std::ostream* out) {
    *out << c.name;
}

class IniRead : public testing::TestWithParam<ReadCase> {};

TEST_P(IniRead, AnswersTheStoredValueOrTheDefault) {
    TempDir dir;
    const ReadCase& c = GetParam();
    if (c.content)
        writeFile(dir.file(kFileName), *c.content);
    EXPECT_EQ(platform::iniRead(dir.file(kFileName), c.section, c.key, c.defaultValue), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniRead,
    testing::Values(
        ReadCase{"NoFileGivesTheDefault", std::nullopt, "获取地址", "Data", "5", "5"},
        ReadCase{"NoFileNoDefaultGivesEmpty", std::nullopt, "获取地址", "Data", std::nullopt, ""},
        ReadCase{"NamesIgnoreCase", "[Other]\nAutoMode=1\n", "OTHER", "automode", std::nullopt, "1"},
        ReadCase{"ChineseSection", "[其余设置]\nAutoMode=0\n[获取地址]\nData=2\n", "获取地址", "Data", "5", "2"},
        ReadCase{"SpacesTrimmed", "[s]\n  key  =   two words  \n", "s", "key", std::nullopt, "two words"},
        ReadCase{"ValueAfterFirstEquals", "[s]\nk=a=b\n", "s", "k", std::nullopt, "a=b"},
        ReadCase{"DoubleQuotesRemoved", "[s]\nk=\" padded \"\n", "s", "k", std::nullopt, " padded "},
        ReadCase{"SingleQuotesRemoved", "[s]\nk='x'\n", "s", "k", std::nullopt, "x"},
        ReadCase{"UnmatchedQuotesKept", "[s]\nk=\"x'\n", "s", "k", std::nullopt, "\"x'"},
        ReadCase{"CrLfLines", "[s]\r\nk=v\r\nj=w\r\n", "s", "k", std::nullopt, "v"},
        ReadCase{"EmptyValueIsNotAbsent", "[s]\nk=\n", "s", "k", "d", ""},
        ReadCase{"KeyOfAnotherSection", "[a]\nk=1\n[b]\nj=2\n", "b", "k", "d", "d"},
        ReadCase{"KeyBeforeAnySection", "k=1\n[s]\n", "s", "k", "d", "d"},
        ReadCase{"CommentsAndGarbageSkipped", "[s]\n;k=1\n#k=2\ngarbage\nk=3\n", "s", "k", std::nullopt, "3"},
        ReadCase{"ByteOrderMark", "\xEF\xBB\xBF[s]\nk=v\n", "s", "k", std::nullopt, "v"},
        ReadCase{"FirstOfTwoKeys", "[s]\nk=1\nK=2\n", "s", "k", std::nullopt, "1"}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

struct WriteCase {
    const char* name;
    std::optional<std::string> content;
    std::string section;
    std::string key;
    std::string value;
    std::string expected;
};

void PrintTo(const WriteCase& c, std::ostream* out) {
    *out << c.name;
}

class IniWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(IniWrite, ChangesOnlyItsOwnLine) {
    TempDir dir;
    const WriteCase& c = GetParam();
    if (c.content)
        writeFile(dir.file(kFileName), *c.content);
    ASSERT_TRUE(platform::iniWrite(dir.file(kFileName), c.section, c.key, c.value));
    EXPECT_EQ(readFile(dir.file(kFileName)), c.expected);
    EXPECT_EQ(platform::iniRead(dir.file(kFileName), c.section, c.key), c.value);
    EXPECT_EQ(listFolder(dir.path()), kFileName);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWrite,
    testing::Values(
        WriteCase{"CreatesFileSectionAndKey", std::nullopt, "获取地址", "Data", "5", "[获取地址]\nData=5\n"},
        WriteCase{"ReplacesInPlaceKeepingEverythingElse",
                  "; settings\n[其余设置]\nAutoMode = 1 \ngarbage line\n[t]\nx=y\n", "其余设置", "automode", "0",
                  "; settings\n[其余设置]\nAutoMode = 0\ngarbage line\n[t]\nx=y\n"},
        WriteCase{"AppendsKeyAtTheEndOfItsSection", "[s]\na=1\n\n[t]\nb=2\n", "S", "c", "3",
                  "[s]\na=1\nc=3\n\n[t]\nb=2\n"},
        WriteCase{"AppendsKeyToAnEmptySection", "[s]\n[t]\n", "s", "k", "v", "[s]\nk=v\n[t]\n"},
        WriteCase{"AppendsSectionAfterALastLineWithoutBreak", "[s]\na=1", "t", "k", "v", "[s]\na=1\n[t]\nk=v\n"},
        WriteCase{"KeepsCrLfOfTheReplacedLine", "[s]\r\na=1\r\nb=2\r\n", "s", "a", "9", "[s]\r\na=9\r\nb=2\r\n"},
        WriteCase{"AppendedLinesUseLf", "[s]\r\na=1\r\n", "s", "b", "2", "[s]\r\na=1\r\nb=2\n"},
        WriteCase{"KeepsTheByteOrderMark", "\xEF\xBB\xBF[s]\nk=1\n", "s", "k", "2", "\xEF\xBB\xBF[s]\nk=2\n"},
        WriteCase{"EmptyValue", "[s]\nk=1\n", "s", "k", "", "[s]\nk=\n"},
        WriteCase{"SavePathWithSpaces", std::nullopt, "加速下载保存目录", "s", "/home/u/下载 目录",
                  "[加速下载保存目录]\ns=/home/u/下载 目录\n"}),
    [](const testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST(IniValues, LongValuesReadAsTheirFirstBytesWithoutSplittingACharacter) {
    TempDir dir;
    const std::string file = dir.file(kFileName);
    const std::string exact(platform::kIniValueLimit, 'a');
    ASSERT_TRUE(platform::iniWrite(file, "s", "exact", exact));
    ASSERT_TRUE(platform::iniWrite(file, "s", "long", exact + "bcd"));
    std::string chinese = "a";
    while (chinese.size() < 12000)
        chinese += "中";
    ASSERT_TRUE(platform::iniWrite(file, "s", "chinese", chinese));

    EXPECT_EQ(platform::iniRead(file, "s", "exact"), exact);
    EXPECT_EQ(platform::iniRead(file, "s", "long"), exact);
    // 10239 bytes would end inside a character: the answer stops at the last whole one.
    EXPECT_EQ(platform::iniRead(file, "s", "chinese"), chinese.substr(0, 1 + 3412 * 3));
}

TEST(IniValues, WritesFromSeveralThreadsAllLand) {
    TempDir dir;
    const std::string file = dir.file(kFileName);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&file, t] {
            for (int k = 0; k < 25; ++k)
                platform::iniWrite(file, "s" + std::to_string(t), "k" + std::to_string(k), std::to_string(t * k));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t) {
        for (int k = 0; k < 25; ++k)
            EXPECT_EQ(platform::iniRead(file, "s" + std::to_string(t), "k" + std::to_string(k)), std::to_string(t * k));
    }
}

TEST(IniValues, WritesThatCannotBeStoredSafelyAnswerFalseAndChangeNothing) {
    TempDir dir;
    const std::string file = dir.file(kFileName);
    writeFile(file, "[s]\nk=1\n");
    EXPECT_FALSE(platform::iniWrite(file, "s", "k", "1\n[evil]\nx=y"));
    EXPECT_FALSE(platform::iniWrite(file, "s", "a=b", "1"));
    EXPECT_FALSE(platform::iniWrite(file, "s]x", "k", "1"));
    EXPECT_FALSE(platform::iniWrite(file, "", "k", "1"));
    EXPECT_FALSE(platform::iniWrite(file, "s", "", "1"));
    EXPECT_EQ(readFile(file), "[s]\nk=1\n");
    EXPECT_FALSE(platform::iniWrite(dir.file("missing/settings.ini"), "s", "k", "1"));
    EXPECT_FALSE(platform::iniWrite(dir.path(), "s", "k", "1"));
    EXPECT_EQ(listFolder(dir.path()), kFileName);
}

TEST(IniValues, AValueAlreadyStoredLeavesTheFileUntouched) {
    TempDir dir;
    const std::string file = dir.file(kFileName);
    writeFile(file, "[s]\r\nk = 1 \r\n");
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    EXPECT_TRUE(platform::iniWrite(file, "s", "k", "1 "));
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced";
    EXPECT_EQ(readFile(file), "[s]\r\nk = 1 \r\n");
    // A different value still lands.
    EXPECT_TRUE(platform::iniWrite(file, "s", "k", "2"));
    EXPECT_EQ(platform::iniRead(file, "s", "k"), "2");
}

} // namespace
