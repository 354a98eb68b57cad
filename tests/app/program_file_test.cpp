// The real program file maps its heavy libraries only in runs that use them: Qt only with a display, libcurl and
// the TLS libraries only for requests. Both come from modules inside the file; the dynamic loader's own log shows
// what a run mapped.

#include "tests/support/program_run.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testsupport::ProgramCopy;
using testsupport::readFile;
using testsupport::writeFile;

const std::string kUserText = "127.0.0.1 localhost\n";
const std::string kBlock = "\n# GitHub Host Start\n140.82.112.4 github.com\n# GitHub Host End";

class ProgramFile : public ::testing::Test {
protected:
    ProgramCopy program;
    std::string hosts = program.folder() + "/hosts";
    std::string loaderLog = program.folder() + "/loader";

    void SetUp() override {
        writeFile(hosts, kUserText + kBlock);
        program.environment["CORVANA_HOSTS"] = hosts;
        program.environment["LD_DEBUG"] = "libs";
        program.environment["LD_DEBUG_OUTPUT"] = loaderLog;
    }

    /// What the loader logged (it writes loader.PID).
    std::string loaded() const {
        std::string text;
        for (const auto& entry : std::filesystem::directory_iterator(program.folder())) {
            if (entry.path().filename().string().starts_with("loader."))
                text += readFile(entry.path().string());
        }
        return text;
    }
};

TEST_F(ProgramFile, HeadlessClearingMapsNeitherQtNorTheTransport) {
    const auto result = program.run({"-dsp", "-esp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(hosts), kUserText);
    const std::string log = loaded();
    ASSERT_NE(log.find("libstdc++"), std::string::npos) << "the loader wrote no log";
    for (const char* library : {"libQt6", "libcurl", "libssl", "libcrypto"})
        EXPECT_EQ(log.find(library), std::string::npos) << library << " was mapped";
}

// The realizer module takes the window model from the program file; a part missing there would stop the load.
TEST_F(ProgramFile, WithADisplayShowsTheWindowsThroughTheRealizerInside) {
    program.environment["QT_QPA_PLATFORM"] = "offscreen";
    const auto result = program.run({"-dsp", "-esp"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(hosts), kUserText);
    // The main window's destruction handler ran: the settings were written on the way out.
    EXPECT_NE(readFile(program.settingsPath()).find("AutoMode=0"), std::string::npos);
    EXPECT_NE(loaded().find("libQt6Widgets"), std::string::npos);
}

} // namespace
