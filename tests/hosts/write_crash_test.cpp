// Kills a process that keeps rewriting a large hosts file at random moments: the file must always hold exactly the
// old or the new text, and a later clean write must leave no temporary file behind.

#include "platform/system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string largeHostsText(const std::string& tag, int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += "10." + std::to_string(i % 250) + ".0.1 " + tag + "-host-" + std::to_string(i) + ".example\n";
    return text;
}

pid_t spawnRewriter(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

TEST(HostsWriteCrash, FileIsAlwaysTheOldOrTheNewText) {
    char pattern[] = "/tmp/corvana-crash-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path root = pattern;
    fs::create_directory(root / "etc");
    const std::string hostsPath = (root / "etc" / "hosts").string();
    const std::string oldPath = (root / "old").string();
    const std::string newPath = (root / "new").string();
    const std::string oldText = largeHostsText("old", 60000);
    const std::string newText = largeHostsText("new", 61000);
    ASSERT_TRUE(platform::writeFile(oldPath, oldText));
    ASSERT_TRUE(platform::writeFile(newPath, newText));
    ASSERT_TRUE(platform::writeFile(hostsPath, oldText));
    ::setenv("CORVANA_HOSTS", hostsPath.c_str(), 1);

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pause(0, 25000);
    int torn = 0;
    for (int round = 0; round < 200; ++round) {
        const pid_t pid = spawnRewriter({HOSTS_REWRITER, oldPath, newPath});
        ASSERT_GT(pid, 0);
        ::usleep(static_cast<useconds_t>(pause(random)));
        ::kill(pid, SIGKILL);
        const int status = waitFor(pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the rewriter ended by itself in round " << round;
        const std::string text = platform::readTextFile(hostsPath);
        if (text != oldText && text != newText)
            ++torn;
    }
    EXPECT_EQ(torn, 0);

    // A clean write takes away whatever the killed writers left behind.
    const pid_t pid = spawnRewriter({HOSTS_REWRITER, oldPath, newPath, "once"});
    ASSERT_GT(pid, 0);
    const int status = waitFor(pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(platform::readTextFile(hostsPath), newText);
    EXPECT_EQ(folderEntries(root / "etc"), std::vector<std::string>{"hosts"});
    fs::remove_all(root);
}

} // namespace
