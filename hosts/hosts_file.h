#pragma once

// The system hosts file and the managed block at its end: reading and writing the file, finding and cutting the
// block, the instruction file shown when the hosts file cannot be written, and the resolver-cache flush.
//
// Line breaks: texts inside the program keep CR LF; what the program itself writes into a file uses LF. Bytes of
// the hosts file outside the block are never converted or reordered, whatever they are.

#include <string>
#include <string_view>

namespace hosts {

/// First line of the managed block.
inline constexpr std::string_view kBlockStartMarker = "# GitHub Host Start";
/// Last line of the managed block.
inline constexpr std::string_view kBlockEndMarker = "# GitHub Host End";
/// Instruction text of the fallback file; "<替换>" stands for the block.
inline constexpr std::string_view kFallbackTemplate =
    "你好，程序无法正常修改Hosts文件\r\n请将以下文本复制到Hosts文件内：\r\n<替换>";
/// Placeholder of the block in kFallbackTemplate.
inline constexpr std::string_view kFallbackPlaceholder = "<替换>";
/// Name of the fallback file in the temporary folder.
inline constexpr std::string_view kFallbackFileName = "GithubHost.txt";

/// The hosts file: $CORVANA_HOSTS when set, else /etc/hosts.
[[nodiscard]] std::string hostsFilePath();

/// The file's bytes as a text (UTF-8 is the system code page, so nothing is converted); empty text when it cannot
/// be read, is missing or is a folder.
[[nodiscard]] std::string readUtf8TextFile(const std::string& path);

/// True when the text contains both marker lines, each anywhere and ignoring letter case; their order is not
/// checked.
[[nodiscard]] bool hasManagedBlock(std::string_view text);

/// The text with every span from a start marker (found ignoring case) through the next end marker (exact case)
/// deleted, taking the start markers from the last to the first; a start marker with no end marker after it stays.
[[nodiscard]] std::string removeMarkedSpans(std::string_view text, std::string_view startMarker,
                                            std::string_view endMarker);

/// What clearing leaves of a hosts text: every managed block cut as removeMarkedSpans cuts it, together with the
/// line break (LF or CR LF) that a run writes ahead of a block, taken only when it is there and only when the block
/// ends its line, so that no character of the user's own lines is lost; a block that ends the text after a line
/// break of its own (a downloaded list's) takes that one too.
[[nodiscard]] std::string cutManagedBlocks(std::string text);

/// The hosts text a run writes: the text it read, one LF, then the block as it stands in files.
[[nodiscard]] std::string appendBlock(std::string hostsText, std::string_view blockFileText);

/// The text with every CR LF turned into LF: how the program's own lines are written into files.
[[nodiscard]] std::string toFileLineBreaks(std::string_view text);

/// Replaces the whole hosts file with the text as one atomic step (mode and owner kept, written in place where the
/// folder refuses a rename); false when the file could not be written, its old content then untouched.
[[nodiscard]] bool writeHostsText(std::string_view text);

/// The full path of the fallback file: the temporary folder followed by "GithubHost.txt".
[[nodiscard]] std::string fallbackFilePath();

/// The fallback file's content: the instruction lines (LF) followed by the block as it stands in files.
[[nodiscard]] std::string fallbackFileText(std::string_view blockFileText);

/// Writes the fallback file for the block (as it stands in files) and opens it with the desktop's opener, without
/// waiting; headless, only the file's path is printed to standard output. A failed write is not reported.
void showFallbackText(std::string_view blockFileText);

/// Logs "Refresh DNS...", flushes the resolver cache ("resolvectl flush-caches", else "nscd -i hosts", whichever is
/// installed) and logs the command's output as one line, an empty one when there is none.
void flushResolverCache();

} // namespace hosts
