#include "platform/system.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

// The program's version, findable in its file by readFileVersion. The linker is told to keep it (see CMakeLists).
extern "C" {
extern const char corvanaFileVersionMarker[];
__attribute__((used)) const char corvanaFileVersionMarker[] = "@(#)CORVANA_FILE_VERSION=" CORVANA_VERSION;
}

namespace platform {
namespace {

constexpr std::string_view kMarkerPrefix = "@(#)CORVANA_FILE_VERSION=";
constexpr std::size_t kMaxVersionLength = 64;

bool isVersionCharacter(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) || c == '.';
}

} // namespace

std::string readFileVersion(const std::string& path) {
    if (path.empty())
        return {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    // The file is scanned in pieces; the tail of each piece is kept so that a marker across two pieces is seen.
    constexpr std::size_t kKeep = kMarkerPrefix.size() + kMaxVersionLength;
    std::string window;
    std::string version;
    char buffer[1 << 16];
    bool atEnd = false;
    while (!atEnd && version.empty()) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;
        atEnd = got == 0;
        window.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t at = window.find(kMarkerPrefix); at != std::string::npos;
             at = window.find(kMarkerPrefix, at + 1)) {
            const std::size_t start = at + kMarkerPrefix.size();
            if (!atEnd && start + kMaxVersionLength > window.size())
                break; // Decided once more bytes have come.
            // The reader's own search text is followed by a NUL, the real marker by a digit.
            if (start >= window.size() || !std::isdigit(static_cast<unsigned char>(window[start])))
                continue;
            std::size_t end = start;
            while (end < window.size() && end - start < kMaxVersionLength && isVersionCharacter(window[end]))
                ++end;
            version = window.substr(start, end - start);
            break;
        }
        if (window.size() > kKeep)
            window.erase(0, window.size() - kKeep);
    }
    ::close(fd);
    return version;
}

std::string programVersion() {
    return readFileVersion(programFilePath());
}

} // namespace platform
