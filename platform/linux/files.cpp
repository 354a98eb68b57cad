#include "platform/system.h"

#include "platform/linux/environment.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

/// Closes the descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    [[nodiscard]] int get() const { return fd_; }
    /// Closes now and reports whether the close succeeded (a late write error shows up here).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

int openRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void syncFolder(const std::string& folder) {
    const int fd = openRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

/// The name of a temporary file beside `name`: "." + name + "." + process id + "-" + ... + ".tmp".
std::string temporaryPrefix(const std::string& name) {
    return "." + name + ".";
}

/// A write killed between creating its temporary file and renaming it leaves that file beside the target; one whose
/// process is gone can never be finished, so the next write removes it. Temporaries of live processes (a
/// concurrent write) are left alone.
void removeStaleTemporaries(const std::string& path) {
    const std::string prefix = temporaryPrefix(nameOf(path));
    DIR* folder = ::opendir(folderOf(path).c_str());
    if (folder == nullptr)
        return;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(prefix) || !name.ends_with(".tmp"))
            continue;
        const std::string_view rest = name.substr(prefix.size());
        const std::size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string_view::npos ||
            rest.substr(0, dash).find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        const long pid = std::strtol(std::string(rest.substr(0, dash)).c_str(), nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
    }
    ::closedir(folder);
}

/// Creates a fresh file beside the target; its name is unique and O_EXCL makes sure nobody else holds it.
int createTemporaryBeside(const std::string& path, std::string& temporaryPath) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = folderOf(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        temporaryPath = folder + "/" + temporaryPrefix(nameOf(path)) + std::to_string(::getpid()) + "-" +
                        std::to_string(counter.fetch_add(1)) + "-" + std::to_string(now.tv_nsec) + ".tmp";
        const int fd = openRetrying(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

/// Takes an advisory lock on the open file (LOCK_SH or LOCK_EX), waiting at most about two seconds for its holder;
/// false when it was not had. Writers in place hold it exclusively and readers shared, so that no reader sees a
/// half-written file and two such writers never mix their bytes. Nothing waits for long on a lock left by others.
bool lockFile(int fd, int operation) {
    for (int attempt = 0; attempt < 2000; ++attempt) {
        if (::flock(fd, operation | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        ::usleep(1000);
    }
    return false;
}

/// Overwrites the file where it stands, holding its lock. The space is reserved first, so a full disk refuses the
/// write before any old byte is touched.
bool writeInPlace(const std::string& path, std::string_view bytes) {
    FileDescriptor file(openRetrying(path.c_str(), O_WRONLY));
    if (file.get() < 0)
        return false;
    // Without the lock the write still goes ahead, as it would have without locks at all.
    (void)lockFile(file.get(), LOCK_EX);
    if (!bytes.empty()) {
        const int reserved = ::posix_fallocate(file.get(), 0, static_cast<off_t>(bytes.size()));
        if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL)
            return false;
    }
    if (!writeAll(file.get(), bytes))
        return false;
    if (::ftruncate(file.get(), static_cast<off_t>(bytes.size())) != 0)
        return false;
    if (::fsync(file.get()) != 0)
        return false;
    return file.close();
}

std::string withTrailingSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string homeFolder() {
    std::string home = environmentValue("HOME");
    if (!home.empty())
        return home;
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

bool createFolders(const std::string& folder) {
    if (folder.empty() || isDirectory(folder))
        return true;
    const std::string parent = folderOf(folder);
    if (parent != folder && !createFolders(parent))
        return false;
    return ::mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST;
}

/// Quotes one argument for the Exec key of a desktop entry: double quotes around it, a backslash before the four
/// reserved characters, then the general string escape (a backslash doubles again) and "%" doubled.
std::string quoteExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$')
            quoted += "\\\\";
        if (c == '\\')
            quoted += "\\\\\\";
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

// One read, made again when a signal interrupts it.
ssize_t readRetrying(int fd, char* into, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, into, size);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

// Maps the pages of a large, still untouched buffer in one call. Touching them one by one costs a page fault per
// 4 KiB, which in a virtual machine was most of the time of reading a hosts file of a million lines.
void prefault(char* data, std::size_t size) {
    constexpr std::size_t kWorthIt = std::size_t{1} << 20;
    if (size < kWorthIt)
        return;
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(data) + page - 1) / page * page;
    const std::uintptr_t last = (reinterpret_cast<std::uintptr_t>(data) + size) / page * page;
    if (last <= first)
        return;
    void* start = reinterpret_cast<void*>(first);
    // Advice only: where the kernel takes none of it, the pages come one fault at a time as before.
    (void)::madvise(start, last - first, MADV_HUGEPAGE);
    (void)::madvise(start, last - first, MADV_POPULATE_WRITE);
}

} // namespace

std::string readTextFile(const std::string& path) {
    if (path.empty())
        return {};
    FileDescriptor file(openRetrying(path.c_str(), O_RDONLY));
    if (file.get() < 0)
        return {};
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || S_ISDIR(status.st_mode))
        return {};
    // A file being written in place is read once that write is done.
    if (S_ISREG(status.st_mode))
        (void)lockFile(file.get(), LOCK_SH);
    std::string bytes;
    // The file is read straight into the text; a file that has grown since it was measured goes on in pieces.
    const std::size_t expected =
        S_ISREG(status.st_mode) && status.st_size > 0 ? static_cast<std::size_t>(status.st_size) : 0;
    // Some room past the end: a few lines added to what was read (a block) then do not move all of it.
    constexpr std::size_t kRoomToGrow = 64 * 1024;
    bytes.reserve(expected + kRoomToGrow);
    prefault(bytes.data(), bytes.capacity());
    bytes.resize(expected);
    std::size_t filled = 0;
    while (filled < expected) {
        const ssize_t got = readRetrying(file.get(), bytes.data() + filled, expected - filled);
        if (got < 0)
            return {};
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    if (filled < expected)
        return bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = readRetrying(file.get(), buffer, sizeof buffer);
        if (got < 0)
            return {};
        if (got == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

bool writeFile(const std::string& path, std::string_view bytes) {
    if (path.empty())
        return false;
    FileDescriptor file(openRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666));
    if (file.get() < 0)
        return false;
    if (!writeAll(file.get(), bytes))
        return false;
    return file.close();
}

bool replaceFileAtomically(const std::string& givenPath, std::string_view bytes) {
    if (givenPath.empty())
        return false;
    // A link is followed, so the file it names is replaced and the link itself stays.
    std::string path = givenPath;
    struct stat linkStatus {};
    if (::lstat(givenPath.c_str(), &linkStatus) == 0 && S_ISLNK(linkStatus.st_mode)) {
        char resolved[PATH_MAX];
        if (!::realpath(givenPath.c_str(), resolved))
            return false;
        path = resolved;
    }

    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        return false;
    if (exists && (!S_ISREG(old.st_mode) || ::access(path.c_str(), W_OK) != 0))
        return false;

    removeStaleTemporaries(path);
    std::string temporaryPath;
    FileDescriptor temporary(createTemporaryBeside(path, temporaryPath));
    if (temporary.get() < 0) {
        // A folder we may not write into can still hold a file we may write (a hosts file opened up for the user).
        const int reason = errno;
        return exists && (reason == EACCES || reason == EPERM) && writeInPlace(path, bytes);
    }

    bool ready = writeAll(temporary.get(), bytes) && ::fsync(temporary.get()) == 0;
    bool ownerKept = true;
    if (ready && exists) {
        ready = ::fchmod(temporary.get(), old.st_mode & 07777) == 0;
        struct stat made {};
        if (ready && ::fstat(temporary.get(), &made) == 0 && (made.st_uid != old.st_uid || made.st_gid != old.st_gid))
            ownerKept = ::fchown(temporary.get(), old.st_uid, old.st_gid) == 0;
    }
    ready = temporary.close() && ready;
    if (!ready) {
        ::unlink(temporaryPath.c_str());
        return false;
    }
    if (!ownerKept) {
        // Renaming would hand the file to us; writing in place keeps its owner.
        ::unlink(temporaryPath.c_str());
        return writeInPlace(path, bytes);
    }
    if (::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        const int reason = errno;
        ::unlink(temporaryPath.c_str());
        // A bind-mounted file (the hosts file of a container) cannot be renamed over; it can be written.
        if (exists && (reason == EBUSY || reason == EXDEV || reason == EPERM || reason == EACCES))
            return writeInPlace(path, bytes);
        return false;
    }
    syncFolder(folderOf(path));
    return true;
}

bool fileExists(const std::string& path) {
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool deleteFile(const std::string& path) {
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

bool createDirectory(const std::string& path) {
    return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

bool removeEmptyDirectory(const std::string& path) {
    return !path.empty() && ::rmdir(path.c_str()) == 0;
}

std::string programFilePath() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return {};
    std::string path(buffer, static_cast<std::size_t>(length));
    // A program file replaced while it runs (an update) is reported with this suffix.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() && path.ends_with(kDeleted))
        path.resize(path.size() - kDeleted.size());
    return path;
}

std::string runDirectory() {
    const std::string path = programFilePath();
    return path.empty() ? std::string() : folderOf(path);
}

std::string programFileName() {
    return nameOf(programFilePath());
}

std::string temporaryFolder() {
    const std::string folder = environmentValue("TMPDIR");
    return withTrailingSlash(folder.empty() ? "/tmp" : folder);
}

std::string autostartFolder() {
    // Relative values of XDG_CONFIG_HOME are invalid and are ignored, as the base directory rules say.
    const std::string config = environmentValue("XDG_CONFIG_HOME");
    if (!config.empty() && config.front() == '/')
        return withTrailingSlash(config) + "autostart/";
    return homeFolder() + "/.config/autostart/";
}

bool createAutostartEntry(const std::string& linkPath, const std::string& target, const std::string& arguments) {
    if (linkPath.empty() || target.empty())
        return false;
    // A line break would end the Exec line and let the rest become keys of their own.
    if (target.find_first_of("\r\n") != std::string::npos || arguments.find_first_of("\r\n") != std::string::npos)
        return false;
    if (!createFolders(folderOf(linkPath)))
        return false;
    std::string exec = quoteExecArgument(target);
    if (!arguments.empty())
        exec += " " + arguments;
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Corvana\n"
                              "Exec=" +
                              exec +
                              "\n"
                              "X-GNOME-Autostart-enabled=true\n";
    return replaceFileAtomically(linkPath, entry);
}

std::string hostsFilePath() {
    const std::string configured = environmentValue("CORVANA_HOSTS");
    return configured.empty() ? std::string("/etc/hosts") : configured;
}

} // namespace platform
