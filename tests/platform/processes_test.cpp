#include "platform/system.h"
#include "tests/support/temp_dir.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

TEST(RunConsoleProgram, AnswersStandardOutputOnly) {
    EXPECT_EQ(platform::runConsoleProgram("printf 'a\\nb'; echo noise >&2"), "a\nb");
    EXPECT_EQ(platform::runConsoleProgram("exit 3"), "");
    EXPECT_EQ(platform::runConsoleProgram("no-such-command-corvana"), "");
    // More than a pipe holds: the reader must drain while the program writes.
    EXPECT_EQ(platform::runConsoleProgram("head -c 300000 /dev/zero | tr '\\0' x").size(), 300000u);
    // Standard input is empty, so a program that reads it does not hang.
    EXPECT_EQ(platform::runConsoleProgram("cat; echo done"), "done\n");
}

TEST(FindProgram, SearchesPath) {
    const std::string shell = platform::findProgram("sh");
    EXPECT_FALSE(shell.empty());
    EXPECT_TRUE(shell.ends_with("/sh"));
    EXPECT_EQ(platform::findProgram("no-such-program-corvana"), "");
    EXPECT_EQ(platform::findProgram("/bin/sh"), "/bin/sh");
}

TEST(ShellOpen, StartsAProgramWithItsParametersWithoutWaiting) {
    TempDir dir;
    const std::string script = dir.file("record.sh");
    writeFile(script, "#!/bin/sh\nsleep 0.2\nprintf '%s|%s|%s' \"$1\" \"$2\" \"$#\" > \"$0.out\"\n");
    ::chmod(script.c_str(), 0755);
    ASSERT_TRUE(platform::shellOpen(script, "\"a b\" c", true));
    EXPECT_EQ(readFile(script + ".out"), "") << "shellOpen waited for the program";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (readFile(script + ".out").empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(readFile(script + ".out"), "a b|c|2");
    EXPECT_FALSE(platform::shellOpen(""));
}

TEST(StartThread, RunsTheRoutineAndSurvivesOneThatThrows) {
    EXPECT_TRUE(platform::startThread([] { throw std::runtime_error("worker failed"); }));
    std::promise<std::thread::id> ran;
    auto done = ran.get_future();
    ASSERT_TRUE(platform::startThread([&ran] { ran.set_value(std::this_thread::get_id()); }));
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_NE(done.get(), std::this_thread::get_id());
    EXPECT_FALSE(platform::startThread({}));
}

TEST(ExitProgram, FlushesOutputBeforeEnding) {
    TempDir dir;
    const std::string output = dir.file("stdout");
    EXPECT_EXIT(
        {
            if (!std::freopen(output.c_str(), "w", stdout))
                std::abort();
            std::fputs("buffered line", stdout);
            platform::exitProgram(7);
        },
        testing::ExitedWithCode(7), "");
    EXPECT_EQ(readFile(output), "buffered line");
}

} // namespace
