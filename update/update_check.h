#pragma once

// The update check started by the main window's version link: the public update note announces the latest version,
// its download code and change notes; a newer version is offered to the user and, when accepted, installed.

#include <string>
#include <string_view>

namespace update {

/// The main window's version link, disabled while a check runs.
inline constexpr const char* kVersionLinkControl = "超级链接框2";
/// Name of the file in the run directory that keeps the latest version's share link for a manual update.
inline constexpr std::string_view kDownloadLinkFileName = "最新版本下载链接.txt";

/// The plain text of the update note given by its identifier or by one of the note service's two share-link
/// forms; empty text when the note cannot be fetched, is not JSON or has no "content".
[[nodiscard]] std::string fetchNoteText(const std::string& noteIdOrLink);

/// True when `announced` is a higher version than `local`, comparing the dot-separated numbers part by part
/// (missing parts count as 0, so 1.10.0.0 is higher than 1.2.1.0). An announced text that is empty or not digits
/// and dots is never higher; a well-formed announced version is higher than an empty or malformed local one.
[[nodiscard]] bool isNewerVersion(std::string_view announced, std::string_view local);

/// The download-link file's path: the run directory followed by "/最新版本下载链接.txt".
[[nodiscard]] std::string downloadLinkFilePath();

/// Checks the note for a newer version and offers it; runs on a thread of its own and returns when the check is
/// over (when an update is installed the program ends inside). A call while another check runs returns at once.
void updateCheck();

} // namespace update
