#include "platform/system.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

TEST(FileVersion, IsCompiledIntoEveryProgramThatLinksThePlatform) {
    EXPECT_EQ(platform::readFileVersion(CORVANA_VERSION_PROBE), CORVANA_VERSION);
    EXPECT_EQ(platform::programVersion(), CORVANA_VERSION);
}

TEST(FileVersion, IsReadFromTheFileItself) {
    TempDir dir;
    std::string program = readFile(CORVANA_VERSION_PROBE);
    const std::string marker = std::string("@(#)CORVANA_FILE_VERSION=") + CORVANA_VERSION;
    const std::size_t at = program.find(marker);
    ASSERT_NE(at, std::string::npos);
    // Same length, other digits: a reader that answered its own compiled-in text would miss this.
    std::string patched = CORVANA_VERSION;
    for (char& c : patched) {
        if (c >= '0' && c <= '9')
            c = c == '9' ? '8' : static_cast<char>(c + 1);
    }
    program.replace(at + marker.size() - patched.size(), patched.size(), patched);
    writeFile(dir.file("patched"), program);
    EXPECT_EQ(platform::readFileVersion(dir.file("patched")), patched);
}

struct MarkerCase {
    const char* name;
    std::string content;
    std::string expected;
};

void PrintTo(const MarkerCase& c, std::ostream* out) {
    *out << c.name;
}

class FileVersionMarker : public testing::TestWithParam<MarkerCase> {};

TEST_P(FileVersionMarker, IsFoundWhereverItStands) {
    TempDir dir;
    writeFile(dir.file("file"), GetParam().content);
    EXPECT_EQ(platform::readFileVersion(dir.file("file")), GetParam().expected);
}

const std::string kPrefix = "@(#)CORVANA_FILE_VERSION=";

INSTANTIATE_TEST_SUITE_P(
    Files, FileVersionMarker,
    testing::Values(
        MarkerCase{"None", "just text", ""}, MarkerCase{"Empty", "", ""},
        MarkerCase{"AtStart", kPrefix + "1.2.1.0" + std::string(1, '\0'), "1.2.1.0"},
        MarkerCase{"AtEndOfFile", "xx" + kPrefix + "3.4", "3.4"},
        // The reader's own search text (followed by a NUL) comes first and must be passed over.
        MarkerCase{"SearchTextFirst", kPrefix + std::string(1, '\0') + "pad" + kPrefix + "2.0.0.1", "2.0.0.1"},
        MarkerCase{"AcrossReadPieces", std::string(65536 - 10, 'x') + kPrefix + "5.6.7.8", "5.6.7.8"},
        MarkerCase{"DigitsAcrossReadPieces",
                   std::string(65536 - kPrefix.size() - 2, 'x') + kPrefix + "10.20.30.40" + std::string(100, 'y'),
                   "10.20.30.40"}),
    [](const testing::TestParamInfo<MarkerCase>& info) { return std::string(info.param.name); });

TEST(FileVersion, IsEmptyForAMissingFile) {
    EXPECT_EQ(platform::readFileVersion("/nonexistent/corvana"), "");
}

} // namespace
