#include "tests/update/child_run.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace updatetest {
namespace {

std::vector<std::string> childEnvironment(const std::map<std::string, std::string>& additions,
                                          const std::string& scratch) {
    std::map<std::string, std::string> values;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string line = *entry;
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        values.erase(display);
    std::filesystem::create_directories(scratch + "/home/tmp");
    values["HOME"] = scratch + "/home";
    values["XDG_CONFIG_HOME"] = scratch + "/home/config";
    values["TMPDIR"] = scratch + "/home/tmp";
    for (const auto& [name, value] : additions)
        values[name] = value;
    std::vector<std::string> lines;
    for (const auto& [name, value] : values)
        lines.push_back(name + "=" + value);
    return lines;
}

} // namespace

ChildResult runChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment, const std::string& scratch,
                     std::chrono::milliseconds limit) {
    ChildResult result;
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return result;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, scratch.c_str());
    std::vector<std::string> argumentTexts{program};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : argumentTexts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    std::vector<std::string> environmentTexts = childEnvironment(environment, scratch);
    std::vector<char*> envp;
    for (std::string& text : environmentTexts)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        ::close(out[0]);
        ::close(err[0]);
        return result;
    }

    const auto deadline = std::chrono::steady_clock::now() + limit;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0)
            ::close(fd.fd);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::vector<int> processesRunning(const std::string& path) {
    std::vector<int> ids;
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0)
        return ids;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return ids;
    while (const dirent* entry = ::readdir(proc)) {
        const int id = std::atoi(entry->d_name);
        if (id <= 0)
            continue;
        struct stat image {};
        const std::string exe = "/proc/" + std::string(entry->d_name) + "/exe";
        if (::stat(exe.c_str(), &image) == 0 && image.st_dev == target.st_dev && image.st_ino == target.st_ino)
            ids.push_back(id);
    }
    ::closedir(proc);
    return ids;
}

std::string withVersion(std::string programBytes, const std::string& version) {
    const std::string marker = "@(#)CORVANA_FILE_VERSION=";
    // The reader's own copy of the marker text is followed by a zero byte; the real one by the version's digits.
    for (std::size_t at = programBytes.find(marker); at != std::string::npos; at = programBytes.find(marker, at + 1)) {
        const std::size_t start = at + marker.size();
        if (start < programBytes.size() && std::isdigit(static_cast<unsigned char>(programBytes[start]))) {
            std::size_t end = start;
            while (end < programBytes.size() &&
                   (std::isdigit(static_cast<unsigned char>(programBytes[end])) || programBytes[end] == '.'))
                ++end;
            EXPECT_EQ(end - start, version.size()) << "the new version must keep the marker's length";
            programBytes.replace(start, end - start, version);
            return programBytes;
        }
    }
    ADD_FAILURE() << "no version marker in the program file";
    return programBytes;
}

} // namespace updatetest
