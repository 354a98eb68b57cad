// SIGKILL at random moments while installs and clearings rewrite a hosts file of 5,000 lines. After every kill the
// file is the user's text alone or with exactly one block, and a temporary file that a killed writer left is gone
// once the next write has gone through.

#include "hosts/acceleration_run.h"
#include "hosts/clear_acceleration.h"
#include "tests/faults/fault_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

namespace {

using namespace faultstest;
using std::chrono::microseconds;
using testsupport::readFile;
using testsupport::writeFile;

constexpr int kUserLines = 5000;

// Follows the temporary files beside the hosts file from one round (one writer, killed or not) to the next.
class TemporaryWatch {
public:
    TemporaryWatch(std::string folder, std::string fileName)
        : folder_(std::move(folder)), fileName_(std::move(fileName)), inode_(inodeOf(folder_ + "/" + fileName_)) {}

    // What is wrong after a round: more than one new temporary (a writer has one at a time), or one left by an
    // earlier writer although a write of this round went through (the hosts file is then a new file).
    [[nodiscard]] std::string afterRound() {
        const std::vector<std::string> now = temporaryFiles(folder_, fileName_);
        const unsigned long inode = inodeOf(folder_ + "/" + fileName_);
        std::string problems;
        int fresh = 0;
        for (const std::string& name : now) {
            if (std::find(previous_.begin(), previous_.end(), name) == previous_.end())
                ++fresh;
            else if (inode != inode_)
                problems += name + " of a dead writer outlived a write; ";
        }
        if (fresh > 1)
            problems += std::to_string(fresh) + " temporaries from one writer; ";
        if (fresh > 0)
            ++roundsLeavingOne;
        previous_ = now;
        inode_ = inode;
        return problems;
    }

    int roundsLeavingOne = 0;

private:
    std::string folder_;
    std::string fileName_;
    unsigned long inode_;
    std::vector<std::string> previous_;
};

// Waits until a temporary file that was not there before shows up beside the file: a write has begun.
bool waitForNewTemporary(const std::string& folder, const std::string& fileName, const std::vector<std::string>& before,
                         microseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        for (const std::string& name : temporaryFiles(folder, fileName)) {
            if (std::find(before.begin(), before.end(), name) == before.end())
                return true;
        }
        std::this_thread::sleep_for(microseconds(100));
    }
    return false;
}

struct KillCounts {
    int killed = 0; // still running when the kill came
    int aimed = 0;  // killed within 2 ms after a write had begun
};

// Kills the worker just started: in half the rounds at a moment drawn from its start to `span` later; in the other
// half, which a write (a sliver of that time) would seldom see otherwise, within 2 ms after a write of it has begun.
// Answers when the kill came, for failure messages.
std::string killAtARandomMoment(pid_t pid, std::mt19937& random, microseconds span, const std::string& folder,
                                const std::vector<std::string>& before, KillCounts& counts) {
    const bool aim = std::bernoulli_distribution(0.5)(random);
    const long after = std::uniform_int_distribution<long>(0, aim ? 2000 : span.count())(random);
    const bool writing = aim && waitForNewTemporary(folder, "hosts", before, span * 2);
    counts.aimed += writing ? 1 : 0;
    counts.killed += killAfter(pid, microseconds(after)) ? 1 : 0;
    std::string moment = aim ? "a write that never came" : "its start";
    if (writing)
        moment = "a write began";
    return "killed " + std::to_string(after) + " us after " + moment;
}

std::string pidNamespaceNote() {
    return childrenInOwnPidNamespace() ? "" : " (no process-id namespace here: a reused id may keep a temporary)";
}

// 1,000 rounds of a worker forked from this test that runs the hosts library's own installs (source 5) and
// clearings over and over, on a hosts file in memory (see memoryFolder). The real program file spends about 0.3 s
// loading its libraries and waits a second after each install, so 1,000 kills of it would take many minutes; the
// program itself is killed in the next test, in fewer rounds.
TEST(KilledWrites, HostsLibraryRunsAndClearingsLeaveTheOldOrTheNewText) {
    const std::string note = pidNamespaceNote();
    const auto scratch = memoryFolder();
    const testsupport::TempDir& dir = *scratch;
    const std::string etc = dir.file("etc");
    const std::string hosts = etc + "/hosts";
    std::filesystem::create_directories(etc);
    std::filesystem::create_directories(dir.file("tmp"));
    const std::string userText = userHostsText(kUserLines);
    writeFile(hosts, userText);
    testsupport::ScopedEnvironment hostsVariable("CORVANA_HOSTS", hosts);
    testsupport::ScopedEnvironment temporaryVariable("TMPDIR", dir.file("tmp"));
    testsupport::ScopedEnvironment pathVariable("PATH", "/usr/bin:/bin");
    scriptHostsRuns();
    const auto runOnce = [](const std::function<void()>& work) {
        return waitFor(forkWorker(work), std::chrono::seconds(30)).exitCode;
    };

    ASSERT_EQ(runOnce([] { hosts::runAcceleration(5); }), 0);
    const std::string block = blockAfterUserText(readFile(hosts), userText);
    ASSERT_FALSE(block.empty()) << readFile(hosts).substr(userText.size());
    ASSERT_EQ(std::count(block.begin(), block.end(), '\n'), 42) << "an empty line and 40 address lines\n" << block;
    ASSERT_EQ(runOnce(hosts::clearAcceleration), 0);
    ASSERT_TRUE(isText(readFile(hosts), userText));

    // A run, a second run over its block (a clearing and a run in one), a clearing, over and over.
    const auto cycle = [] {
        for (;;) {
            hosts::runAcceleration(5);
            hosts::runAcceleration(5);
            hosts::clearAcceleration();
        }
    };
    // The kills come at moments from a worker's start to the end of its first cycle, however loaded the machine
    // is: the time of one cycle of a fresh worker is measured first.
    microseconds cycleTime{0};
    for (int i = 0; i < 3; ++i) {
        const auto begin = std::chrono::steady_clock::now();
        ASSERT_EQ(runOnce([] {
                      hosts::runAcceleration(5);
                      hosts::runAcceleration(5);
                      hosts::clearAcceleration();
                  }),
                  0);
        cycleTime =
            std::max(cycleTime, std::chrono::duration_cast<microseconds>(std::chrono::steady_clock::now() - begin));
    }
    ASSERT_TRUE(isText(readFile(hosts), userText));
    std::printf("one cycle of a fresh worker takes %ld us here\n", static_cast<long>(cycleTime.count()));

    std::mt19937 random(testSeed());
    TemporaryWatch watch(etc, "hosts");
    KillCounts counts;
    int rounds = 0;
    int withBlock = 0;
    for (; rounds < 1000; ++rounds) {
        const std::vector<std::string> before = temporaryFiles(etc, "hosts");
        const pid_t pid = forkWorker(cycle);
        ASSERT_GT(pid, 0);
        const std::string when = killAtARandomMoment(pid, random, cycleTime, etc, before, counts);
        const std::string text = readFile(hosts);
        const int blocks = blocksAfterUserText(text, userText, block);
        ASSERT_TRUE(blocks == 0 || blocks == 1)
            << "round " << rounds << ", " << when << ": " << firstDifference(text, userText);
        withBlock += blocks;
        const std::string problems = watch.afterRound();
        ASSERT_EQ(problems, "") << "round " << rounds << ", " << when << note;
    }
    EXPECT_EQ(counts.killed, rounds) << "the worker never ends by itself";

    // An ordinary run afterwards takes away whatever the killed writers left behind.
    ASSERT_EQ(runOnce([] { hosts::runAcceleration(5); }), 0);
    EXPECT_EQ(blocksAfterUserText(readFile(hosts), userText, block), 1);
    EXPECT_EQ(temporaryFiles(etc, "hosts"), std::vector<std::string>{}) << note;
    std::printf("%d rounds, %d killed within 2 ms after a write began: %d ended with the block, %d with the user's "
                "text alone; %d kills left a temporary\n",
                rounds, counts.aimed, withBlock, rounds - withBlock, watch.roundsLeavingOne);
}

// The real program file: "-asp -esp" with source 5 and "-dsp -esp", on the disk, killed from its start to past its
// last write (see killAtARandomMoment). It runs in a network namespace of its own, where the resolver answers nothing
// at once and sends nothing, so its block is the two markers around an empty line.
TEST(KilledWrites, RealProgramRunsAndClearingsLeaveTheOldOrTheNewText) {
    if (!ownNetworkPermitted())
        GTEST_SKIP() << "no network namespace can be made here, and the real resolver must not be asked";
    const std::string note = pidNamespaceNote();
    testsupport::ProgramCopy program;
    const std::string etc = program.folder() + "/etc";
    const std::string hosts = etc + "/hosts";
    std::filesystem::create_directories(etc);
    const std::string userText = userHostsText(kUserLines);
    writeFile(hosts, userText);
    writeFile(program.settingsPath(), "[获取地址]\nData=5\n");
    Launch launch;
    launch.environment = programEnvironment(program, {{"CORVANA_HOSTS", hosts}});
    launch.folder = program.folder();
    launch.ownNetwork = true;
    const std::vector<std::string> install = {program.programPath(), "-asp", "-esp"};
    const std::vector<std::string> clear = {program.programPath(), "-dsp", "-esp"};

    launch.argv = install;
    launch.outputPath = program.folder() + "/out.txt";
    ASSERT_EQ(waitFor(start(launch), std::chrono::seconds(30)).exitCode, 0) << readFile(launch.outputPath);
    const std::string block = blockAfterUserText(readFile(hosts), userText);
    ASSERT_EQ(block, "# GitHub Host Start\n\n# GitHub Host End") << readFile(launch.outputPath);
    launch.argv = clear;
    const auto clearStart = std::chrono::steady_clock::now();
    ASSERT_EQ(waitFor(start(launch), std::chrono::seconds(30)).exitCode, 0) << readFile(launch.outputPath);
    const auto clearTime = std::chrono::duration_cast<microseconds>(std::chrono::steady_clock::now() - clearStart);
    ASSERT_TRUE(isText(readFile(hosts), userText));
    launch.outputPath.clear();

    std::mt19937 random(testSeed());
    // A clearing ends right after its write and the settings; the writes of a run come as early (its resolver
    // answers at once), and after them it only waits.
    const microseconds span = clearTime * 5 / 4;
    TemporaryWatch watch(etc, "hosts");
    KillCounts counts;
    int rounds = 0;
    for (; rounds < 100; ++rounds) {
        const bool isInstall = std::bernoulli_distribution(0.5)(random);
        launch.argv = isInstall ? install : clear;
        const std::vector<std::string> before = temporaryFiles(etc, "hosts");
        const pid_t pid = start(launch);
        ASSERT_GT(pid, 0);
        const std::string when = killAtARandomMoment(pid, random, span, etc, before, counts);
        const std::string text = readFile(hosts);
        const int blocks = blocksAfterUserText(text, userText, block);
        ASSERT_TRUE(blocks == 0 || blocks == 1) << "round " << rounds << (isInstall ? ", a run " : ", a clearing ")
                                                << when << ": " << firstDifference(text, userText);
        const std::string problems = watch.afterRound();
        ASSERT_EQ(problems, "") << "round " << rounds << ", " << when << note;
    }

    launch.argv = clear;
    ASSERT_EQ(waitFor(start(launch), std::chrono::seconds(30)).exitCode, 0);
    launch.argv = install;
    ASSERT_EQ(waitFor(start(launch), std::chrono::seconds(30)).exitCode, 0);
    EXPECT_EQ(blocksAfterUserText(readFile(hosts), userText, block), 1);
    EXPECT_EQ(temporaryFiles(etc, "hosts"), std::vector<std::string>{}) << note;
    // The settings file, written as the program ends, is replaced the same way and cleaned up the same way.
    EXPECT_EQ(temporaryFiles(program.folder(), "Corvana配置.ini"), std::vector<std::string>{}) << note;
    std::printf("%d rounds of the program, %d killed before they ended, %d within 2 ms after a write began; %d kills "
                "left a temporary\n",
                rounds, counts.killed, counts.aimed, watch.roundsLeavingOne);
}

} // namespace
