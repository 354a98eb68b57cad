#pragma once

// The operating-system services the program stands on. Every function may be called from any thread.
// Failures are answers: empty text, false, -1. Nothing here throws.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Files and folders

/// Reads a whole file as bytes; empty text when it cannot be opened or read. Waits (briefly) for a write in place
/// of replaceFileAtomically to finish.
[[nodiscard]] std::string readTextFile(const std::string& path);
/// Creates or truncates the file and writes exactly these bytes; false on an empty path or any failure.
[[nodiscard]] bool writeFile(const std::string& path, std::string_view bytes);
/// Replaces the file's content as one step: a flushed temporary file in the same folder renamed over it, mode and
/// owner kept; writes in place where the folder refuses the rename (a bind-mounted file), holding an exclusive
/// advisory lock (flock) on it that readTextFile and other such writes wait for. False when nothing could be
/// written; the old content is then untouched.
/// A link is followed and its target replaced; a missing file is created. A folder, or a file the caller may not
/// write, answers false. Temporary files beside it that writers killed before their rename left behind (their
/// process is gone) are removed.
[[nodiscard]] bool replaceFileAtomically(const std::string& path, std::string_view bytes);
/// True when a file or folder exists at the path.
[[nodiscard]] bool fileExists(const std::string& path);
/// True when the path is a folder.
[[nodiscard]] bool isDirectory(const std::string& path);
/// Deletes a file; false when it could not be deleted.
bool deleteFile(const std::string& path);
/// Creates one folder; false when it could not be created (an existing folder also answers false).
bool createDirectory(const std::string& path);
/// Removes an empty folder; false otherwise.
bool removeEmptyDirectory(const std::string& path);

/// The folder that holds the program file, without a trailing "/".
[[nodiscard]] std::string runDirectory();
/// The program file's name without its folder.
[[nodiscard]] std::string programFileName();
/// The program file's full path: runDirectory() + "/" + programFileName().
[[nodiscard]] std::string programFilePath();
/// The user's temporary folder ($TMPDIR or /tmp), ending in "/".
[[nodiscard]] std::string temporaryFolder();
/// The user's autostart folder ($XDG_CONFIG_HOME/autostart, default ~/.config/autostart), ending in "/".
[[nodiscard]] std::string autostartFolder();
/// Writes a desktop entry at linkPath that starts target with the arguments; false on failure.
bool createAutostartEntry(const std::string& linkPath, const std::string& target, const std::string& arguments);
/// The path of the system hosts file: $CORVANA_HOSTS when set, else /etc/hosts.
[[nodiscard]] std::string hostsFilePath();

/// The version text compiled into a program file (such as "1.2.1.0"); empty when the file has none.
[[nodiscard]] std::string readFileVersion(const std::string& path);
/// The version text compiled into the running program file; empty when it cannot be read.
[[nodiscard]] std::string programVersion();

// Settings (private-profile behaviour)

/// Maximum number of bytes of one value that a read answers.
inline constexpr std::size_t kIniValueLimit = 10239;
/// The stored value of section/key (names compared without case); the default when absent, empty text when absent
/// and no default is given. At most kIniValueLimit bytes.
[[nodiscard]] std::string iniRead(const std::string& file, const std::string& section, const std::string& key,
                                  const std::optional<std::string>& defaultValue = std::nullopt);
/// Stores the value, creating file, section and key as needed and keeping every other line byte for byte; the file
/// is replaced atomically. False on failure, and for names or values that one line cannot hold (a line break, an
/// "=" in the key, a "]" in the section).
bool iniWrite(const std::string& file, const std::string& section, const std::string& key, const std::string& value);

// System proxy

/// The proxy the desktop is set to use.
struct SystemProxy {
    std::string server; ///< host:port, empty when none is set
    bool enabled = false;
};
/// Reads https_proxy/http_proxy (either case) from the environment; empty server when none is set.
[[nodiscard]] SystemProxy readSystemProxy();

// Processes, threads and time

/// Runs a shell command line without a window, waits for it and answers its standard output; empty when it
/// wrote nothing or could not be started.
[[nodiscard]] std::string runConsoleProgram(const std::string& commandLine);
/// Finds a program on PATH; empty text when absent.
[[nodiscard]] std::string findProgram(const std::string& name);
/// Opens a file, folder, program or URL with the desktop's opener (a program is started with the parameters);
/// returns without waiting. False when nothing could be started.
bool shellOpen(const std::string& target, const std::string& parameters = {}, bool hidden = false);
/// Opens a URL in the user's default browser; false when no opener could be started.
bool openUrl(const std::string& url);
/// Starts the routine on a new detached thread; returns at once. False when no thread could be made.
bool startThread(std::function<void()> routine);
/// Pauses the calling thread.
void sleepMs(int milliseconds);
/// Ends the process at once with the exit code, after flushing standard output and error.
[[noreturn]] void exitProgram(int code);
/// Gives unused heap memory back to the system.
void trimWorkingSet();

} // namespace platform
