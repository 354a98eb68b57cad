#include "tests/support/program_run.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {
namespace {

namespace fs = std::filesystem;

std::string makeScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "corvana-run-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        return {};
    return pattern;
}

void drain(int fd, std::string& into, std::mutex& mutex) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            std::lock_guard lock(mutex);
            into.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return;
    }
}

} // namespace

ProgramCopy::ProgramCopy() : folder_(makeScratchFolder()) {
    fs::copy_file(CORVANA_PROGRAM_PATH, programPath(), fs::copy_options::overwrite_existing);
    fs::create_directories(temporaryFolder());
}

ProgramCopy::~ProgramCopy() {
    std::error_code ignored;
    if (!folder_.empty())
        fs::remove_all(folder_, ignored);
}

ProgramResult ProgramCopy::run(const std::vector<std::string>& arguments, std::chrono::milliseconds limit,
                               const std::string& terminateAfter) const {
    ProgramResult result;
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        return result;

    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM" || name == "TMPDIR" ||
            name == "XDG_CONFIG_HOME" || environment.count(name) != 0)
            continue;
        env.push_back(text);
    }
    env.push_back("TMPDIR=" + folder_ + "/tmp");
    env.push_back("XDG_CONFIG_HOME=" + folder_ + "/config");
    for (const auto& [name, value] : environment)
        env.push_back(name + "=" + value);

    std::vector<std::string> argv{programPath()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());

    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0)
        return result;
    if (child == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        std::vector<char*> argPointers;
        for (const auto& arg : argv)
            argPointers.push_back(const_cast<char*>(arg.c_str()));
        argPointers.push_back(nullptr);
        std::vector<char*> envPointers;
        for (const auto& entry : env)
            envPointers.push_back(const_cast<char*>(entry.c_str()));
        envPointers.push_back(nullptr);
        if (chdir(folder_.c_str()) != 0)
            _exit(126);
        execve(argPointers[0], argPointers.data(), envPointers.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);

    std::mutex outputMutex;
    std::thread outReader([&] { drain(outPipe[0], result.out, outputMutex); });
    std::thread errReader([&] { drain(errPipe[0], result.err, outputMutex); });
    bool terminated = false;

    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    struct rusage usage {};
    for (;;) {
        const pid_t done = wait4(child, &status, WNOHANG, &usage);
        if (done == child)
            break;
        if (!terminateAfter.empty() && !terminated) {
            std::lock_guard lock(outputMutex);
            if (result.out.find(terminateAfter) != std::string::npos) {
                kill(child, SIGTERM);
                terminated = true;
            }
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            wait4(child, &status, 0, &usage);
            result.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    result.peakMemoryKiB = usage.ru_maxrss;
    outReader.join();
    errReader.join();
    close(outPipe[0]);
    close(errPipe[0]);
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.exitCode = 128 + WTERMSIG(status);
    return result;
}

} // namespace testsupport
