#include "update/install_update.h"

#include "platform/system.h"
#include "util/text.h"
#include "util/web_request.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace update {
namespace {

/// Reads up to `size` bytes at `offset`; the number of bytes read, -1 on an error.
long readAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(fd, static_cast<char*>(buffer) + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<long>(done);
}

/// Closes the descriptor when it goes out of scope.
struct FileCloser {
    int fd;
    ~FileCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

/// True when [offset, offset + count * entrySize) lies inside a file of `fileSize` bytes, without overflow.
bool tableInside(std::uint64_t offset, std::uint64_t count, std::uint64_t entrySize, std::uint64_t fileSize) {
    if (count == 0)
        return true;
    if (entrySize == 0 || count > fileSize / entrySize)
        return false;
    return offset <= fileSize && count * entrySize <= fileSize - offset;
}

/// The checks of one ELF class; Header and ProgramHeader are that class's structures.
template <typename Header, typename ProgramHeader>
bool completeProgram(int fd, std::uint64_t fileSize, const unsigned char (&own)[EI_NIDENT], std::uint16_t machine) {
    Header header{};
    if (readAt(fd, &header, sizeof header, 0) != static_cast<long>(sizeof header))
        return false;
    if (std::memcmp(header.e_ident, own, EI_VERSION + 1) != 0)
        return false;
    if (header.e_machine != machine || header.e_version != EV_CURRENT)
        return false;
    if (header.e_type != ET_EXEC && header.e_type != ET_DYN)
        return false;
    if (header.e_entry == 0 || header.e_phnum == 0 || header.e_phentsize != sizeof(ProgramHeader))
        return false;
    if (!tableInside(header.e_phoff, header.e_phnum, header.e_phentsize, fileSize))
        return false;
    // The section table usually ends the file, so a cut-off download loses it first.
    if (header.e_shnum != 0 && !tableInside(header.e_shoff, header.e_shnum, header.e_shentsize, fileSize))
        return false;
    bool loads = false;
    for (std::uint16_t i = 0; i < header.e_phnum; ++i) {
        ProgramHeader segment{};
        const std::uint64_t at = header.e_phoff + static_cast<std::uint64_t>(i) * header.e_phentsize;
        if (readAt(fd, &segment, sizeof segment, at) != static_cast<long>(sizeof segment))
            return false;
        if (segment.p_type != PT_LOAD)
            continue;
        loads = true;
        if (segment.p_offset > fileSize || segment.p_filesz > fileSize - segment.p_offset)
            return false;
    }
    return loads;
}

/// The identification bytes and machine of the running program's own image.
bool ownIdentity(unsigned char (&ident)[EI_NIDENT], std::uint16_t& machine) {
    static_assert(offsetof(Elf32_Ehdr, e_machine) == offsetof(Elf64_Ehdr, e_machine));
    const int fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    FileCloser closer{fd};
    unsigned char header[sizeof(Elf64_Ehdr)];
    constexpr std::size_t kNeeded = offsetof(Elf64_Ehdr, e_machine) + sizeof(std::uint16_t);
    if (readAt(fd, header, kNeeded, 0) != static_cast<long>(kNeeded))
        return false;
    std::memcpy(ident, header, EI_NIDENT);
    std::memcpy(&machine, header + offsetof(Elf64_Ehdr, e_machine), sizeof machine);
    return std::memcmp(ident, ELFMAG, SELFMAG) == 0;
}

std::string tempFolderOf(const std::string& folder) {
    return folder + "/" + std::string(kUpdateTempFolderName);
}

/// Removes the download and, when nothing else is in it, its folder.
void discardDownload(const std::string& folder, const std::string& fileName) {
    platform::deleteFile(tempFolderOf(folder) + "/" + fileName);
    platform::removeEmptyDirectory(tempFolderOf(folder));
}

/// Streams the answer of a GET to the file; true when the transfer completed with a success status and every
/// byte, kMaxUpdateBytes at most, reached the file.
bool fetchToFile(const std::string& address, const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    FileCloser closer{fd};
    bool written = true;
    std::uint64_t total = 0;
    const util::StreamedFetch result = util::webFetchToSink(address, [&](std::string_view chunk) {
        total += chunk.size();
        if (total > kMaxUpdateBytes) {
            written = false;
            return false;
        }
        while (!chunk.empty()) {
            const ssize_t done = ::write(fd, chunk.data(), chunk.size());
            if (done < 0 && errno == EINTR)
                continue;
            if (done < 0) {
                written = false;
                return false;
            }
            chunk.remove_prefix(static_cast<std::size_t>(done));
        }
        return true;
    });
    if (!written || !result.completed || result.statusCode < 200 || result.statusCode > 299)
        return false;
    if (::fsync(fd) != 0)
        return false;
    closer.fd = -1;
    return ::close(fd) == 0;
}

/// Mode of the old program file with the run bits that its read bits allow; 0755 when it cannot be read.
mode_t modeForNewFile(const std::string& oldPath) {
    struct stat status {};
    if (::stat(oldPath.c_str(), &status) != 0)
        return 0755;
    mode_t mode = status.st_mode & 0777;
    mode |= S_IRUSR | S_IXUSR;
    if (mode & S_IRGRP)
        mode |= S_IXGRP;
    if (mode & S_IROTH)
        mode |= S_IXOTH;
    return mode;
}

} // namespace

std::string shellQuote(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::string updateScriptText(const std::string& folder, const std::string& fileName, long oldProcessId) {
    const std::string temp(kUpdateTempFolderName);
    const std::string script(kUpdateScriptName);
    std::string text;
    text += "#!/bin/sh\n";
    text += "# ProgramUpdate Please wait...\n";
    text += "\n";
    text += "filename=" + shellQuote(fileName) + "\n";
    text += "curpath=" + shellQuote(folder) + "\n";
    text += "oldpid=" + std::to_string(oldProcessId) + "\n";
    text += "program=\"$curpath/$filename\"\n";
    text += "\n";
    text += "cd \"$curpath\" || exit 1\n";
    text += "\n";
    text += "# The program that started this script is ending; give it up to five seconds to end by itself.\n";
    text += "i=0\n";
    text += "while [ \"/proc/$oldpid/exe\" -ef \"$program\" ] && [ \"$i\" -lt 50 ]; do\n";
    text += "    sleep 0.1\n";
    text += "    i=$((i + 1))\n";
    text += "done\n";
    text += "\n";
    text += "# End every process whose image is the program file, a hidden silent-mode instance too.\n";
    text += "for proc in /proc/[0-9]*; do\n";
    text += "    if [ \"$proc/exe\" -ef \"$program\" ]; then\n";
    text += "        kill -9 \"${proc#/proc/}\" 2>/dev/null\n";
    text += "    fi\n";
    text += "done\n";
    text += "\n";
    text += "mv -f \"$curpath/" + temp + "/$filename\" \"$program\"\n";
    text += "chmod u+x \"$program\" 2>/dev/null\n";
    text += "\n";
    text += "echo; echo Delete Temp File\n";
    text += "rmdir \"$curpath/" + temp + "\" 2>/dev/null\n";
    text += "\n";
    text += "echo; echo Update Complete\n";
    text += "echo; echo About To Restart The Program\n";
    text += "sleep 3\n";
    text += "\n";
    text += "if command -v setsid >/dev/null 2>&1; then\n";
    text += "    setsid \"$program\" </dev/null >/dev/null 2>&1 &\n";
    text += "else\n";
    text += "    \"$program\" </dev/null >/dev/null 2>&1 &\n";
    text += "fi\n";
    text += "rm -f \"$curpath/" + script + "\"\n";
    text += "exit 0\n";
    return text;
}

bool isProgramFileForThisPlatform(const std::string& path) {
    unsigned char own[EI_NIDENT];
    std::uint16_t machine = 0;
    if (!ownIdentity(own, machine))
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    FileCloser closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0)
        return false;
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (own[EI_CLASS] == ELFCLASS64)
        return completeProgram<Elf64_Ehdr, Elf64_Phdr>(fd, size, own, machine);
    if (own[EI_CLASS] == ELFCLASS32)
        return completeProgram<Elf32_Ehdr, Elf32_Phdr>(fd, size, own, machine);
    return false;
}

bool downloadUpdate(const std::string& address, const std::string& folder, const std::string& fileName) {
    // The program comes only over TLS: in the clear anyone on the path could hand over a program of their own, and
    // the check below cannot tell it from ours.
    if (util::asciiLower(std::string_view(address).substr(0, 8)) != "https://" || folder.empty() || fileName.empty())
        return false;
    const std::string temp = tempFolderOf(folder);
    if (!platform::isDirectory(temp))
        platform::createDirectory(temp);
    const std::string path = temp + "/" + fileName;
    if (!fetchToFile(address, path) || !isProgramFileForThisPlatform(path) ||
        ::chmod(path.c_str(), modeForNewFile(folder + "/" + fileName)) != 0) {
        discardDownload(folder, fileName);
        return false;
    }
    return true;
}

bool installUpdate(const std::string& address) {
    const std::string folder = platform::runDirectory();
    const std::string fileName = platform::programFileName();
    if (!downloadUpdate(address, folder, fileName))
        return false;
    const std::string script = folder + "/" + std::string(kUpdateScriptName);
    const bool started =
        platform::writeFile(script, updateScriptText(folder, fileName, static_cast<long>(::getpid()))) &&
        ::chmod(script.c_str(), 0700) == 0 && platform::shellOpen(script, {}, true);
    if (!started) {
        platform::deleteFile(script);
        discardDownload(folder, fileName);
        return false;
    }
    platform::exitProgram(0);
}

} // namespace update
