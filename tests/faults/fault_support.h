#pragma once

// What the fault tests share: a large hosts file of a user's own lines, the test of what a hosts text may be after a
// fault, the temporary files that writers leave, children started and killed at chosen moments, and private mount
// namespaces for tiny disks and bind-mounted hosts files.

#include "tests/support/loopback_server.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace faultstest {

/// A user's own hosts file of `lines` lines: comments, blank lines, IPv4 and IPv6 entries, a CR LF line and a
/// non-ASCII name among them; it ends with LF.
[[nodiscard]] std::string userHostsText(int lines);

/// How many managed blocks follow the user's text, each exactly `block` after the line break a run writes ahead of
/// it; -1 when the text is anything else (torn, a user line lost, changed or repeated, something else added).
[[nodiscard]] int blocksAfterUserText(std::string_view text, std::string_view userText, std::string_view block);

/// The block that the first run over the user's text added: the text after the user's text and one LF; empty when
/// the text is not the user's text followed by LF and a block.
[[nodiscard]] std::string blockAfterUserText(std::string_view text, std::string_view userText);

/// A scratch folder under /dev/shm (memory) when that is there, else in the temporary folder. Rounds of writes meant
/// to find torn files or lost lines depend on the order of the system calls, not on the disk, and on a shared disk
/// every flush costs tens of milliseconds on a loaded machine.
[[nodiscard]] std::unique_ptr<testsupport::TempDir> memoryFolder();

/// Lets the hosts library's runs and clearings work in this process without windows or pauses: headless (a
/// fallback ending only prints its file's path), no waits, and every name resolving to an address made from its
/// position in the list, so that each run writes the same block; each lookup takes up to `jitterMicroseconds`,
/// drawn from a generator seeded with the process id.
void scriptHostsRuns(int jitterMicroseconds = 0);

/// Forks a child that does the work and exits; -1 when it cannot. The test process must have no other thread.
[[nodiscard]] pid_t forkWorker(const std::function<void()>& work);

/// Names of the temporary files that writers of `fileName` left in the folder, sorted.
[[nodiscard]] std::vector<std::string> temporaryFiles(const std::string& folder, const std::string& fileName);
/// The inode number of the file; 0 when it does not exist.
[[nodiscard]] unsigned long inodeOf(const std::string& path);

/// A child process as the tests start it.
struct Launch {
    std::vector<std::string> argv;        ///< the program's path first
    std::vector<std::string> environment; ///< the whole environment, "NAME=value" each
    std::string folder;                   ///< working folder; empty: the test's
    std::string outputPath;               ///< standard output and error go here; empty: /dev/null
    bool ownNetwork = false;              ///< a fresh network namespace: no route anywhere, not even loopback
};

/// Starts the child; -1 when it could not be started.
[[nodiscard]] pid_t start(const Launch& launch);

/// How a child ended.
struct Ended {
    int exitCode = -1; ///< exit status, or 128 + signal
    bool timedOut = false;
};
/// Waits for the child until the limit, then kills it with SIGKILL.
Ended waitFor(pid_t pid, std::chrono::microseconds limit);
/// Kills the child with SIGKILL after the delay (or earlier when it ends by itself) and reaps it; true when it
/// was still running when the kill came.
bool killAfter(pid_t pid, std::chrono::microseconds delay);

/// Places the test's later children in a process-id namespace of their own (under a child that only waits), so
/// that the ids of killed writers, which their temporary files carry, go to no other process while the test runs;
/// false when that is not permitted here. The test process can start no thread of its own afterwards.
[[nodiscard]] bool childrenInOwnPidNamespace();

/// True when a child may have a network namespace of its own here.
[[nodiscard]] bool ownNetworkPermitted();

/// The environment of a headless run of the program copy: the test's own without display, proxies or a temporary
/// folder, with the copy's temporary and autostart folders, PATH=/usr/bin:/bin, and the extra values.
[[nodiscard]] std::vector<std::string> programEnvironment(const testsupport::ProgramCopy& program,
                                                          const std::map<std::string, std::string>& extra);

/// Moves the test process into a mount namespace of its own, so that its mounts are seen by it and its children
/// only and vanish with them; false when that is not permitted here.
[[nodiscard]] bool enterPrivateMountNamespace();

/// A mount of the test's private namespace, taken away at the end of the scope.
class ScopedMount {
public:
    /// A tmpfs of `bytes` at the folder.
    static ScopedMount tmpfs(const std::string& folder, std::size_t bytes);
    /// The file `source` bind-mounted over the file `target`.
    static ScopedMount bind(const std::string& source, const std::string& target);
    ScopedMount(ScopedMount&& other) noexcept;
    ScopedMount& operator=(ScopedMount&&) = delete;
    ~ScopedMount();
    /// True when the mount was made.
    [[nodiscard]] bool mounted() const { return !target_.empty(); }

private:
    explicit ScopedMount(std::string target) : target_(std::move(target)) {}
    std::string target_;
};

/// The seed of a test's random moments: $CORVANA_FAULT_SEED when set (to repeat a run), else a fresh one; printed
/// either way.
[[nodiscard]] unsigned testSeed();

/// The real program file, headless, accelerating from the published list of source 4, which a loopback HTTPS
/// server serves, over a hosts file (etc/hosts in the copy's folder) of the user's 5,000 lines.
class ListRunFixture : public testing::Test {
protected:
    ListRunFixture();
    void SetUp() override;

    /// Runs the copy with the arguments, behind `wrapper` when one is given (a program and its arguments, such as
    /// strace with its options); its standard output and error are then in output(). Gives up after 60 s.
    Ended run(const std::vector<std::string>& arguments, const std::vector<std::string>& wrapper = {});
    [[nodiscard]] std::string output() const;
    [[nodiscard]] std::string fallbackFilePath() const { return program.temporaryFolder() + "GithubHost.txt"; }

    testsupport::ProgramCopy program;
    const std::string etc = program.folder() + "/etc";
    const std::string hosts = etc + "/hosts";
    const std::string userText = userHostsText(5000);
    /// The block that a run installs: the served list with the managed marker lines.
    const std::string block;
    /// A block that an earlier run left.
    const std::string oldBlock = "# GitHub Host Start\n\n1.2.3.4 github.com\n# GitHub Host End";
    /// What the fallback file holds when the run could not write the block.
    const std::string fallbackText;

private:
    testsupport::TempDir certificates_;
    testsupport::TestCertificateAuthority authority_{certificates_.path()};
    testsupport::LoopbackServer server_;
};

/// The sizes and the lines around the first difference of two texts: for failure messages.
[[nodiscard]] std::string firstDifference(std::string_view text, std::string_view expected);
/// Success when the text is the expected one; otherwise the first difference (hosts files are too long to print).
[[nodiscard]] testing::AssertionResult isText(std::string_view text, std::string_view expected);

} // namespace faultstest
