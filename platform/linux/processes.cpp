#include "platform/system.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <malloc.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {
namespace {

/// posix_spawn's attribute and file-action objects, released on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
};

pid_t spawn(const std::vector<std::string>& arguments, SpawnSetup& setup) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ) != 0)
        return -1;
    return pid;
}

void waitFor(pid_t pid) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

/// Starts a program that outlives the call: its own session, no terminal input, and a reaper thread so that it
/// never lingers as a zombie.
bool startDetached(const std::vector<std::string>& arguments, bool quiet) {
    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (quiet) {
        posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSID);
    const pid_t pid = spawn(arguments, setup);
    if (pid < 0)
        return false;
    try {
        std::thread([pid] { waitFor(pid); }).detach();
    } catch (...) {
        // Without a reaper the child still runs; it is collected when this process ends.
    }
    return true;
}

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

/// Splits a parameter text into arguments: blanks separate them, double quotes group blanks into one, a backslash
/// takes the next character literally.
std::vector<std::string> splitParameters(const std::string& parameters) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const char c = parameters[i];
        if (c == '\\' && i + 1 < parameters.size()) {
            current += parameters[++i];
            inArgument = true;
        } else if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inArgument)
                arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.push_back(current);
    return arguments;
}

bool openWithDesktop(const std::string& target) {
    const std::string opener = findProgram("xdg-open");
    return !opener.empty() && startDetached({opener, target}, true);
}

} // namespace

std::string runConsoleProgram(const std::string& commandLine) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return {};
    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const pid_t pid = spawn({"/bin/sh", "-c", commandLine}, setup);
    ::close(pipeEnds[1]);
    if (pid < 0) {
        ::close(pipeEnds[0]);
        return {};
    }
    std::string output;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    waitFor(pid);
    return output;
}

std::string findProgram(const std::string& name) {
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = folders.find(':', start);
        const std::string_view folder =
            std::string_view(folders).substr(start, end == std::string::npos ? std::string::npos : end - start);
        // An empty entry stands for the current folder.
        const std::string candidate = (folder.empty() ? std::string(".") : std::string(folder)) + "/" + name;
        if (isExecutableFile(candidate))
            return candidate;
        if (end == std::string::npos)
            return {};
        start = end + 1;
    }
}

bool shellOpen(const std::string& target, const std::string& parameters, bool hidden) {
    if (target.empty())
        return false;
    if (isExecutableFile(target)) {
        std::vector<std::string> arguments{target};
        for (std::string& argument : splitParameters(parameters))
            arguments.push_back(std::move(argument));
        return startDetached(arguments, hidden);
    }
    return openWithDesktop(target);
}

bool openUrl(const std::string& url) {
    return !url.empty() && openWithDesktop(url);
}

bool startThread(std::function<void()> routine) {
    if (!routine)
        return false;
    try {
        std::thread([routine = std::move(routine)] {
            try {
                routine();
            } catch (...) {
                // A worker's failure must not end the whole program.
            }
        }).detach();
        return true;
    } catch (...) {
        return false;
    }
}

void sleepMs(int milliseconds) {
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void exitProgram(int code) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(code);
}

void trimWorkingSet() {
    ::malloc_trim(0);
}

} // namespace platform
