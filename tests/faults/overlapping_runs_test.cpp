// Two acceleration runs and a clearing overlapping on one hosts file, 500 rounds for each way they can meet: on
// three threads of one process (a silent-mode run, an autostart run and a "-dsp" clearing), or as three processes
// (two copies of the program), over a file of its own (replaced by renames) or a bind-mounted one (written in
// place). The user's lines always survive, in order and once each; only whole blocks are ever added.
//
// The runs are the hosts library's own (source 5 over a scripted resolver that takes up to 300 us a name), in
// workers forked from this test: the real program file spends about 0.3 s starting and waits a second after each
// run, too slow for 2,000 rounds, and it could not be made to meet at chosen moments.

#include "hosts/acceleration_run.h"
#include "hosts/clear_acceleration.h"
#include "tests/faults/fault_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

using namespace faultstest;
using testsupport::readFile;
using testsupport::writeFile;

struct Meeting {
    const char* name;
    bool threads; // three threads of one process, else three processes
    bool inPlace; // a bind-mounted hosts file
};
void PrintTo(const Meeting& value, std::ostream* out) {
    *out << value.name;
}

// Runs the work after the delay: the workers start at staggered moments.
void after(int microseconds, void (*work)()) {
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
    work();
}

void install() {
    hosts::runAcceleration(5);
}

class OverlappingRuns : public testing::TestWithParam<Meeting> {};

TEST_P(OverlappingRuns, TheUserLinesAlwaysSurvive) {
    const auto scratch = memoryFolder();
    const testsupport::TempDir& dir = *scratch;
    const std::string etc = dir.file("etc");
    const std::string hosts = etc + "/hosts";
    std::filesystem::create_directories(etc);
    std::filesystem::create_directories(dir.file("tmp"));
    const std::string userText = userHostsText(5000);
    writeFile(hosts, userText);
    std::optional<ScopedMount> mount;
    if (GetParam().inPlace) {
        if (!enterPrivateMountNamespace())
            GTEST_SKIP() << "no mount namespace of its own can be made here";
        writeFile(dir.file("mounted"), userText);
        mount.emplace(ScopedMount::bind(dir.file("mounted"), hosts));
        if (!mount->mounted())
            GTEST_SKIP() << "bind mounts are not permitted here";
    }
    testsupport::ScopedEnvironment hostsVariable("CORVANA_HOSTS", hosts);
    testsupport::ScopedEnvironment temporaryVariable("TMPDIR", dir.file("tmp"));
    testsupport::ScopedEnvironment pathVariable("PATH", "/usr/bin:/bin");
    scriptHostsRuns();
    ASSERT_EQ(waitFor(forkWorker(install), std::chrono::seconds(30)).exitCode, 0);
    const std::string block = blockAfterUserText(readFile(hosts), userText);
    ASSERT_FALSE(block.empty());

    std::mt19937 random(testSeed());
    std::uniform_int_distribution<int> stagger(0, 3000);
    int rounds = 0;
    int mostBlocks = 0;
    for (; rounds < 500; ++rounds) {
        const int delays[3] = {stagger(random), stagger(random), stagger(random)};
        std::vector<pid_t> workers;
        if (GetParam().threads) {
            workers.push_back(forkWorker([delays] {
                scriptHostsRuns(300);
                std::thread first(after, delays[0], install);
                std::thread second(after, delays[1], install);
                std::thread clearing(after, delays[2], hosts::clearAcceleration);
                first.join();
                second.join();
                clearing.join();
            }));
        } else {
            for (int i = 0; i < 3; ++i) {
                workers.push_back(forkWorker([&delays, i] {
                    scriptHostsRuns(300);
                    after(delays[i], i < 2 ? install : hosts::clearAcceleration);
                }));
            }
        }
        for (const pid_t worker : workers) {
            ASSERT_GT(worker, 0);
            ASSERT_EQ(waitFor(worker, std::chrono::seconds(30)).exitCode, 0) << "round " << rounds;
        }
        const std::string text = readFile(hosts);
        const int blocks = blocksAfterUserText(text, userText, block);
        ASSERT_GE(blocks, 0) << "round " << rounds << ", starts after " << delays[0] << ", " << delays[1] << " and "
                             << delays[2] << " us: " << firstDifference(text, userText);
        mostBlocks = std::max(mostBlocks, blocks);
        ASSERT_EQ(temporaryFiles(etc, "hosts"), std::vector<std::string>{}) << "round " << rounds;
    }
    std::printf("%d rounds, at most %d blocks after the user's lines\n", rounds, mostBlocks);
}

INSTANTIATE_TEST_SUITE_P(Meetings, OverlappingRuns,
                         testing::Values(Meeting{"ThreadsOwnFile", true, false},
                                         Meeting{"ProcessesOwnFile", false, false},
                                         Meeting{"ThreadsBindMounted", true, true},
                                         Meeting{"ProcessesBindMounted", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
