#include "tests/faults/fault_support.h"

#include "hosts/acceleration_run.h"
#include "hosts/service_names.h"
#include "platform/net.h"
#include "util/process_values.h"
#include "util/text.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <random>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace faultstest {
namespace {

namespace fs = std::filesystem;

int statusToExitCode(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

int reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return status;
}

// Runs `step` in a child and answers whether it exited 0.
template <typename Step> bool childSucceeds(Step step) {
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0)
        ::_exit(step() ? 0 : 1);
    const int status = reap(child);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

pid_t& pidNamespaceInit() {
    static pid_t pid = -1;
    return pid;
}

void endPidNamespace() {
    if (pidNamespaceInit() > 0) {
        ::kill(pidNamespaceInit(), SIGKILL);
        reap(pidNamespaceInit());
    }
}

} // namespace

std::string userHostsText(int lines) {
    std::string text = "# The user's own hosts file\r\n127.0.0.1 localhost\n::1 localhost ip6-localhost\n\n";
    for (int i = 4; i < lines; ++i) {
        if (i % 500 == 0)
            text += "# section " + std::to_string(i / 500) + "\n";
        else if (i % 777 == 0)
            text += "10.9.8.7 café-" + std::to_string(i) + ".example\n";
        else if (i % 333 == 0)
            text += "fd00::" + std::to_string(i) + " v6-host-" + std::to_string(i) + ".example\n";
        else
            text += "10." + std::to_string(i % 250) + "." + std::to_string(i / 250) + ".1 user-host-" +
                    std::to_string(i) + ".example\n";
    }
    return text;
}

int blocksAfterUserText(std::string_view text, std::string_view userText, std::string_view block) {
    if (!text.starts_with(userText) || block.empty())
        return -1;
    std::string_view rest = text.substr(userText.size());
    int blocks = 0;
    while (!rest.empty()) {
        if (!rest.starts_with("\n") || !rest.substr(1).starts_with(block))
            return -1;
        rest.remove_prefix(1 + block.size());
        ++blocks;
    }
    return blocks;
}

std::string blockAfterUserText(std::string_view text, std::string_view userText) {
    if (!text.starts_with(userText) || !text.substr(userText.size()).starts_with("\n# GitHub Host Start\n"))
        return {};
    return std::string(text.substr(userText.size() + 1));
}

std::unique_ptr<testsupport::TempDir> memoryFolder() {
    if (::access("/dev/shm", W_OK | X_OK) == 0) {
        testsupport::ScopedEnvironment inMemory("TMPDIR", "/dev/shm");
        return std::make_unique<testsupport::TempDir>();
    }
    return std::make_unique<testsupport::TempDir>();
}

void scriptHostsRuns(int jitterMicroseconds) {
    util::setHeadless(true);
    hosts::setRunWaitHook([](int) {});
    std::map<std::string, std::string> addresses;
    std::vector<std::string> names = util::splitText(hosts::kServiceHostList, util::kCrLf);
    names.emplace_back(hosts::kServiceMainHost);
    for (std::size_t i = 0; i < names.size(); ++i)
        addresses.emplace(names[i], "10.20.30." + std::to_string(i + 1));
    struct Jitter {
        std::mutex mutex;
        std::mt19937 random;
    };
    auto jitter = std::make_shared<Jitter>();
    jitter->random.seed(static_cast<unsigned>(::getpid()));
    platform::setResolverHook([addresses, jitter, jitterMicroseconds](const std::string& name) {
        if (jitterMicroseconds > 0) {
            int pause = 0;
            {
                std::lock_guard lock(jitter->mutex);
                pause = std::uniform_int_distribution<int>(0, jitterMicroseconds)(jitter->random);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(pause));
        }
        const auto found = addresses.find(name);
        return found == addresses.end() ? std::string() : found->second;
    });
}

pid_t forkWorker(const std::function<void()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        work();
        ::_exit(0);
    }
    return child;
}

std::vector<std::string> temporaryFiles(const std::string& folder, const std::string& fileName) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("." + fileName + ".") && name.ends_with(".tmp"))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

unsigned long inodeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<unsigned long>(status.st_ino) : 0;
}

pid_t start(const Launch& launch) {
    std::vector<char*> argv;
    for (const auto& argument : launch.argv)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> env;
    for (const auto& entry : launch.environment)
        env.push_back(const_cast<char*>(entry.c_str()));
    env.push_back(nullptr);
    const char* output = launch.outputPath.empty() ? "/dev/null" : launch.outputPath.c_str();

    const pid_t child = ::fork();
    if (child != 0)
        return child;
    // Only system calls from here on: the test process may have threads.
    if (launch.ownNetwork && ::unshare(CLONE_NEWNET) != 0)
        ::_exit(125);
    const int fd = ::open(output, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0 || ::dup2(fd, STDERR_FILENO) < 0)
        ::_exit(126);
    const int nothing = ::open("/dev/null", O_RDONLY);
    if (nothing >= 0)
        ::dup2(nothing, STDIN_FILENO);
    if (!launch.folder.empty() && ::chdir(launch.folder.c_str()) != 0)
        ::_exit(126);
    ::execve(argv[0], argv.data(), env.data());
    ::_exit(127);
}

Ended waitFor(pid_t pid, std::chrono::microseconds limit) {
    Ended ended;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return ended;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            status = reap(pid);
            ended.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ended.exitCode = statusToExitCode(status);
    return ended;
}

bool killAfter(pid_t pid, std::chrono::microseconds delay) {
    // A child that ended early is a zombie until reaped, so its id cannot have gone to another process.
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    const int status = reap(pid);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

bool childrenInOwnPidNamespace() {
    if (pidNamespaceInit() > 0)
        return true;
    if (::unshare(CLONE_NEWPID) != 0)
        return false;
    // The first child is the namespace's init: it only waits, and the namespace ends with it.
    const pid_t init = ::fork();
    if (init < 0)
        return false;
    if (init == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        for (;;)
            ::pause();
    }
    pidNamespaceInit() = init;
    std::atexit(endPidNamespace);
    return true;
}

bool ownNetworkPermitted() {
    static const bool permitted = childSucceeds([] { return ::unshare(CLONE_NEWNET) == 0; });
    return permitted;
}

std::vector<std::string> programEnvironment(const testsupport::ProgramCopy& program,
                                            const std::map<std::string, std::string>& extra) {
    static const std::vector<std::string> kDropped = {
        "DISPLAY",    "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TMPDIR",      "XDG_CONFIG_HOME", "PATH",
        "http_proxy", "https_proxy",     "HTTP_PROXY",      "HTTPS_PROXY", "all_proxy",       "ALL_PROXY"};
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (std::find(kDropped.begin(), kDropped.end(), name) != kDropped.end() || name.starts_with("CORVANA_") ||
            extra.count(name) != 0)
            continue;
        environment.push_back(text);
    }
    environment.push_back("TMPDIR=" + program.folder() + "/tmp");
    environment.push_back("XDG_CONFIG_HOME=" + program.folder() + "/config");
    if (extra.count("PATH") == 0)
        environment.push_back("PATH=/usr/bin:/bin");
    for (const auto& [name, value] : extra)
        environment.push_back(name + "=" + value);
    return environment;
}

bool enterPrivateMountNamespace() {
    static const bool entered =
        ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return entered;
}

ScopedMount ScopedMount::tmpfs(const std::string& folder, std::size_t bytes) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0)
        return ScopedMount("");
    return ScopedMount(folder);
}

ScopedMount ScopedMount::bind(const std::string& source, const std::string& target) {
    if (::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0)
        return ScopedMount("");
    return ScopedMount(target);
}

ScopedMount::ScopedMount(ScopedMount&& other) noexcept : target_(std::move(other.target_)) {
    other.target_.clear();
}

ScopedMount::~ScopedMount() {
    if (!target_.empty())
        ::umount2(target_.c_str(), MNT_DETACH);
}

namespace {

constexpr const char* kServedList = "# GitHub520 Host Start\n140.82.112.3 github.com\n185.199.108.133 "
                                    "raw.githubusercontent.com\n# GitHub520 Host End\n";
constexpr const char* kInstalledList = "# GitHub Host Start\n140.82.112.3 github.com\n185.199.108.133 "
                                       "raw.githubusercontent.com\n# GitHub Host End\n";

} // namespace

ListRunFixture::ListRunFixture()
    : block(kInstalledList),
      fallbackText(std::string("你好，程序无法正常修改Hosts文件\n请将以下文本复制到Hosts文件内：\n") + kInstalledList),
      server_(authority_.issue("lists", {"raw.hellogithub.com"})) {}

void ListRunFixture::SetUp() {
    fs::create_directories(etc);
    testsupport::writeFile(hosts, userText);
    testsupport::writeFile(program.settingsPath(), "[获取地址]\nData=4\n");
    server_.server().Get(".*", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(kServedList, "text/plain; charset=utf-8");
    });
    server_.start();
}

Ended ListRunFixture::run(const std::vector<std::string>& arguments, const std::vector<std::string>& wrapper) {
    Launch launch;
    launch.argv = wrapper;
    launch.argv.push_back(program.programPath());
    launch.argv.insert(launch.argv.end(), arguments.begin(), arguments.end());
    launch.environment = programEnvironment(
        program, {{"CORVANA_HOSTS", hosts},
                  {"CORVANA_CA_BUNDLE", authority_.authority().certificateFile},
                  {"CORVANA_CONNECT_TO", testsupport::connectToEntry("raw.hellogithub.com", 443, server_.port())}});
    launch.folder = program.folder();
    launch.outputPath = program.folder() + "/output.txt";
    return waitFor(start(launch), std::chrono::seconds(60));
}

std::string ListRunFixture::output() const {
    return testsupport::readFile(program.folder() + "/output.txt");
}

unsigned testSeed() {
    unsigned seed = 0;
    if (const char* given = std::getenv("CORVANA_FAULT_SEED"); given != nullptr && *given != '\0')
        seed = static_cast<unsigned>(std::strtoul(given, nullptr, 10));
    else
        seed = std::random_device{}();
    std::printf("seed %u (CORVANA_FAULT_SEED=%u repeats this run)\n", seed, seed);
    std::fflush(stdout);
    return seed;
}

std::string firstDifference(std::string_view text, std::string_view expected) {
    const auto mismatch = std::mismatch(text.begin(), text.end(), expected.begin(), expected.end());
    const std::size_t at = static_cast<std::size_t>(mismatch.first - text.begin());
    const auto lineAround = [at](std::string_view of) {
        const std::size_t from = std::min(at, of.size());
        const std::size_t newline = from == 0 ? std::string_view::npos : of.rfind('\n', from - 1);
        const std::size_t begin = newline == std::string_view::npos ? 0 : newline + 1;
        const std::size_t end = of.find('\n', from);
        const std::string_view line =
            of.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
        return std::string(line.substr(0, 100));
    };
    return "size " + std::to_string(text.size()) + " against " + std::to_string(expected.size()) +
           ", first difference at byte " + std::to_string(at) + ": \"" + lineAround(text) + "\" where \"" +
           lineAround(expected) + "\" was expected";
}

testing::AssertionResult isText(std::string_view text, std::string_view expected) {
    if (text == expected)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << firstDifference(text, expected);
}

} // namespace faultstest
