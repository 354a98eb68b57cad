// A full disk under the real program file: every single write of a run or a clearing refused with ENOSPC in turn
// (strace), fsync failing, and a hosts file on a tiny tmpfs. The hosts file is afterwards as it was or correct, and
// a run that could not write ends with the fallback file and "Complete".

#include "tests/faults/fault_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <sstream>
#include <unistd.h>

namespace {

using namespace faultstest;
using testsupport::readFile;
using testsupport::writeFile;

const char* const kStrace = "/usr/bin/strace";

// strace before the program, tracing the calls of the injection ("write:error=ENOSPC:when=3") into the file.
std::vector<std::string> straceInjecting(const std::string& injection, const std::string& traceFile = "/dev/null") {
    return {kStrace, "-f",
            "-qq",   "--seccomp-bpf",
            "-o",    traceFile,
            "-e",    "trace=" + injection.substr(0, injection.find(':')),
            "-e",    "inject=" + injection,
            "--"};
}

// The most write calls any one thread of the run makes: strace counts the calls of each thread on its own.
int mostWritesOfOneThread(const std::string& traceFile) {
    std::map<std::string, int> perThread;
    std::istringstream lines(readFile(traceFile));
    for (std::string line; std::getline(lines, line);) {
        if (line.find("write(") != std::string::npos)
            ++perThread[line.substr(0, line.find(' '))];
    }
    int most = 0;
    for (const auto& [thread, count] : perThread)
        most = std::max(most, count);
    return most;
}

struct Operation {
    const char* label;
    const char* name;
    std::vector<std::string> arguments;
    bool overOldBlock; // an install over a block that an earlier run left
    bool isInstall;
};
void PrintTo(const Operation& value, std::ostream* out) {
    *out << value.label;
}

class FullDiskWrites : public ListRunFixture, public testing::WithParamInterface<Operation> {
protected:
    [[nodiscard]] std::string startText() const {
        if (!GetParam().isInstall)
            return userText + "\n" + block;
        return GetParam().overOldBlock ? userText + "\n" + oldBlock : userText;
    }
    [[nodiscard]] std::string correctText() const { return GetParam().isInstall ? userText + "\n" + block : userText; }

    // Checks one run that was refused some write: each of its writes left the file as it was or as intended (a run
    // over an old block clears it with a write of its own first), nothing is left beside it, and a run whose block
    // was not written says so the way the fallback ending does. Answers whether the block was kept out.
    bool checkOutcome(const std::string& what) {
        const std::string text = readFile(hosts);
        const bool cleared = GetParam().overOldBlock && text == userText;
        EXPECT_TRUE(text == startText() || text == correctText() || cleared)
            << what << ": " << firstDifference(text, correctText()) << "\n"
            << output();
        EXPECT_EQ(temporaryFiles(etc, "hosts"), std::vector<std::string>{}) << what;
        const bool notWritten = text != correctText();
        if (notWritten && GetParam().isInstall) {
            EXPECT_EQ(readFile(fallbackFilePath()), fallbackText) << what;
            EXPECT_NE(output().find("Modify HOSTS...\n" + fallbackFilePath() + "\nComplete\n"), std::string::npos)
                << what << "\n"
                << output();
        }
        if (notWritten && !GetParam().isInstall) {
            EXPECT_NE(output().find("Remove error: "), std::string::npos) << what << "\n" << output();
        }
        return notWritten;
    }

    void reset() {
        writeFile(hosts, startText());
        std::filesystem::remove(fallbackFilePath());
    }
};

// The n-th write of every thread fails, for every n up to the most writes of one thread: the log lines, the hosts
// file's temporary, the fallback file, the settings file.
TEST_P(FullDiskWrites, EveryRefusedWriteLeavesTheFileAsItWasOrCorrect) {
    if (::access(kStrace, X_OK) != 0)
        GTEST_SKIP() << "strace is not installed";
    reset();
    const std::string trace = program.folder() + "/trace.txt";
    ASSERT_EQ(run(GetParam().arguments, {kStrace, "-f", "-qq", "--seccomp-bpf", "-o", trace, "-e", "trace=write", "--"})
                  .exitCode,
              0)
        << output();
    ASSERT_TRUE(isText(readFile(hosts), correctText())) << output();
    const int writes = mostWritesOfOneThread(trace);
    ASSERT_GT(writes, 3) << readFile(trace);

    int keptOut = 0;
    for (int n = 1; n <= writes; ++n) {
        reset();
        const Ended ended = run(GetParam().arguments, straceInjecting("write:error=ENOSPC:when=" + std::to_string(n)));
        const std::string what = std::string(GetParam().name) + " refused write " + std::to_string(n);
        EXPECT_EQ(ended.exitCode, 0) << what << "\n" << output();
        keptOut += checkOutcome(what) ? 1 : 0;
    }
    // The write of the hosts file's temporary is one of them.
    EXPECT_GE(keptOut, 1);
    std::printf("%s: %d writes of one thread refused in turn, %d of them kept the change out of the hosts file\n",
                GetParam().name, writes, keptOut);
}

// A disk that reports its shortage only when the data is flushed.
TEST_P(FullDiskWrites, AFailingFlushLeavesTheFileAsItWas) {
    if (::access(kStrace, X_OK) != 0)
        GTEST_SKIP() << "strace is not installed";
    reset();
    const std::string trace = program.folder() + "/trace.txt";
    const Ended ended = run(GetParam().arguments, straceInjecting("fsync,fdatasync:error=ENOSPC", trace));
    EXPECT_EQ(ended.exitCode, 0) << output();
    EXPECT_NE(readFile(trace).find("= -1 ENOSPC (No space left on device) (INJECTED)"), std::string::npos);
    EXPECT_TRUE(checkOutcome("every flush refused"));
}

INSTANTIATE_TEST_SUITE_P(
    Operations, FullDiskWrites,
    testing::Values(Operation{"Install", "install", {"-asp", "-esp"}, false, true},
                    Operation{"InstallOverAnOldBlock", "install over an old block", {"-asp", "-esp"}, true, true},
                    Operation{"Clearing", "clearing", {"-dsp", "-esp"}, false, false}),
    [](const auto& info) { return std::string(info.param.label); });

// The hosts file on a tmpfs with little room beside it: the new file must fit next to the old one.
class TinyDisk : public ListRunFixture {
protected:
    static constexpr std::size_t kPage = 4096;
    static std::size_t pages(std::size_t bytes) { return (bytes + kPage - 1) / kPage; }

    // A tmpfs at the hosts file's folder with `freePages` pages free once `text` is in it.
    [[nodiscard]] ScopedMount tmpfsHolding(const std::string& text, std::size_t freePages) const {
        ScopedMount mount = ScopedMount::tmpfs(etc, (pages(text.size()) + freePages) * kPage);
        if (mount.mounted())
            writeFile(hosts, text);
        return mount;
    }
};

TEST_F(TinyDisk, ARunThatDoesNotFitEndsWithTheFallbackFileAndOneThatFitsWrites) {
    if (!enterPrivateMountNamespace())
        GTEST_SKIP() << "no mount namespace of its own can be made here";
    const std::string installed = userText + "\n" + block;
    const std::size_t needed = pages(installed.size());
    for (const std::size_t freePages : {std::size_t{0}, std::size_t{1}, needed / 2, needed - 1, needed + 8}) {
        const std::string what = std::to_string(freePages) + " pages free, " + std::to_string(needed) + " needed";
        std::filesystem::remove(fallbackFilePath());
        const ScopedMount disk = tmpfsHolding(userText, freePages);
        ASSERT_TRUE(disk.mounted()) << "a tmpfs cannot be mounted here";
        EXPECT_EQ(run({"-asp", "-esp"}).exitCode, 0) << what << "\n" << output();
        const std::string text = readFile(hosts);
        EXPECT_TRUE(text == userText || text == installed) << what << ": " << firstDifference(text, installed);
        EXPECT_EQ(temporaryFiles(etc, "hosts"), std::vector<std::string>{}) << what;
        // The new file is written beside the old one and must fit there whole.
        EXPECT_TRUE(isText(text, freePages < needed ? userText : installed)) << what;
        if (text == userText) {
            EXPECT_EQ(readFile(fallbackFilePath()), fallbackText) << what;
            EXPECT_NE(output().find("\nComplete\n"), std::string::npos) << what << "\n" << output();
        }
    }
}

TEST_F(TinyDisk, AClearingThatDoesNotFitKeepsTheBlockAndSaysSo) {
    if (!enterPrivateMountNamespace())
        GTEST_SKIP() << "no mount namespace of its own can be made here";
    const std::string installed = userText + "\n" + block;
    {
        const ScopedMount full = tmpfsHolding(installed, 0);
        ASSERT_TRUE(full.mounted()) << "a tmpfs cannot be mounted here";
        EXPECT_EQ(run({"-dsp", "-esp"}).exitCode, 0) << output();
        EXPECT_TRUE(isText(readFile(hosts), installed));
        EXPECT_NE(output().find("Remove error: "), std::string::npos) << output();
        EXPECT_EQ(output().find("Remove Complete"), std::string::npos) << output();
        EXPECT_EQ(temporaryFiles(etc, "hosts"), std::vector<std::string>{});
    }
    const ScopedMount roomy = tmpfsHolding(installed, pages(userText.size()));
    EXPECT_EQ(run({"-dsp", "-esp"}).exitCode, 0) << output();
    EXPECT_TRUE(isText(readFile(hosts), userText));
    EXPECT_EQ(temporaryFiles(etc, "hosts"), std::vector<std::string>{});
}

} // namespace
