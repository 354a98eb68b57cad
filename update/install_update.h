#pragma once

// Self-replacement: the new program file is downloaded beside the running one, checked, and a small sh script
// started outside the program ends every process of the program file, moves the new file over the old one and
// starts it again.

#include <cstdint>
#include <string>
#include <string_view>

namespace update {

/// The folder in the run directory that receives the download.
inline constexpr std::string_view kUpdateTempFolderName = "ProgramUpdateTemp";
/// The update script's file name in the run directory.
inline constexpr std::string_view kUpdateScriptName = "Program_Update_sgKRsuw2.sh";
/// The largest program file an update takes (the program is a few MiB): a server that never stops sending would
/// otherwise fill the disk.
inline constexpr std::uint64_t kMaxUpdateBytes = std::uint64_t{128} << 20;

/// The text as one sh word in single quotes: every ' becomes '\'' so that blanks, quotes, "$", ";" and line breaks
/// stay literal.
[[nodiscard]] std::string shellQuote(std::string_view text);

/// The update script for the program file `fileName` in the absolute `folder`: it waits up to five seconds for the
/// process `oldProcessId` to end, ends every process that runs the program file, moves
/// `folder`/ProgramUpdateTemp/`fileName` over the program file, keeps its run bit, removes ProgramUpdateTemp when
/// empty, waits three seconds, starts the program detached and deletes itself. Lines end with LF.
[[nodiscard]] std::string updateScriptText(const std::string& folder, const std::string& fileName, long oldProcessId);

/// True when the file is a complete ELF program file for the machine this program runs on: same class, byte order
/// and machine as the running program, an executable type, and every header table and loadable segment inside the
/// file. False for an empty, truncated or foreign file and for anything that is not ELF.
[[nodiscard]] bool isProgramFileForThisPlatform(const std::string& path);

/// Downloads the https `address` into ProgramUpdateTemp of `folder` under `fileName` and keeps it only when the
/// transfer completed with a success status within kMaxUpdateBytes and the file is a program file for this platform
/// (its mode then copied from `folder`/`fileName` with the run bit set). True when the checked file is in place; on
/// false (also for an address that is not https) the file and the folder (when empty) are gone again.
[[nodiscard]] bool downloadUpdate(const std::string& address, const std::string& folder, const std::string& fileName);

/// Installs the program file at `address` over the running one: downloads and checks it, writes and starts the
/// update script, and ends the program with exit code 0, so it does not return then. False when nothing was
/// installed (a failed, empty or foreign download, a script that could not be written or started); nothing of the
/// attempt is left behind then and the program file is untouched.
[[nodiscard]] bool installUpdate(const std::string& address);

} // namespace update
