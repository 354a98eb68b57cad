#include "update/install_update.h"

#include "tests/support/temp_dir.h"
#include "tests/update/child_run.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace updatetest {
namespace {

pid_t start(const std::string& program, const std::string& argument) {
    std::string first = program;
    std::string second = argument;
    char* argv[] = {first.data(), second.data(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    return pid;
}

/// Waits up to ten seconds for the child and answers its raw wait status; a child still running then is killed
/// and fails the test.
int waitFor(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ADD_FAILURE() << "process " << pid << " is still running";
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status;
}

bool isExecutable(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && (status.st_mode & S_IXUSR) != 0;
}

TEST(UpdateScriptTest, QuotesSingleQuotesAsShellWords) {
    EXPECT_EQ(update::shellQuote("plain"), "'plain'");
    EXPECT_EQ(update::shellQuote("it's"), "'it'\\''s'");
    EXPECT_EQ(update::shellQuote(""), "''");
}

// A name and a folder full of shell characters; the script must treat both as plain text.
TEST(UpdateScriptTest, ReplacesEndsAndRestartsAProgramWithShellCharactersInItsPath) {
    testsupport::TempDir scratch;
    const std::string folder = scratch.path() + "/run dir 'a' \"b\" $HOME;x";
    const std::string name = "Cor vana 'q' \"d\" $(touch pwned);echo `touch pwned2` &";
    std::filesystem::create_directories(folder + "/ProgramUpdateTemp");
    const std::string program = folder + "/" + name;
    std::filesystem::copy_file("/bin/sleep", program);
    ::chmod(program.c_str(), 0755);
    const std::string started = scratch.file("started");
    const std::string newProgram = "#!/bin/sh\necho \"$0\" > '" + started + "'\n";
    testsupport::writeFile(folder + "/ProgramUpdateTemp/" + name, newProgram);
    ::chmod((folder + "/ProgramUpdateTemp/" + name).c_str(), 0755);

    // The instance that started the update ends by itself; a hidden second instance must be ended.
    const pid_t ending = start(program, "1");
    const pid_t hidden = start(program, "600");
    const std::string script = folder + "/" + std::string(update::kUpdateScriptName);
    testsupport::writeFile(script, update::updateScriptText(folder, name, ending));

    const ChildResult run = runChild("/bin/sh", {script}, {}, scratch.path(), std::chrono::seconds(30));
    EXPECT_EQ(run.exitCode, 0) << run.err;

    const int endingStatus = waitFor(ending);
    EXPECT_TRUE(WIFEXITED(endingStatus)) << "the ending instance was not given the time to end";
    const int hiddenStatus = waitFor(hidden);
    EXPECT_TRUE(WIFSIGNALED(hiddenStatus) && WTERMSIG(hiddenStatus) == SIGKILL) << "the hidden instance was not ended";

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(started) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(testsupport::readFile(started), program + "\n");
    EXPECT_TRUE(testsupport::readFile(program) == newProgram) << "the new program is not in place";
    EXPECT_TRUE(isExecutable(program));
    EXPECT_EQ(testsupport::listFolder(folder), name) << "the script and the empty temporary folder are gone";
    EXPECT_FALSE(std::filesystem::exists(scratch.file("pwned")));
    EXPECT_FALSE(std::filesystem::exists(scratch.file("pwned2")));
}

} // namespace
} // namespace updatetest
