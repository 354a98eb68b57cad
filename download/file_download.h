#pragma once

// "下载": every link of the download window fetched through the chosen mirror on a thread of its own and saved in
// the save folder, one row of the download list per link. A body is streamed into a temporary file beside its
// target and renamed over the target once the transfer is complete, so memory stays flat for any size and a failed
// transfer leaves nothing behind.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace ui {
class Window;
}

namespace download {

/// Statuses of a row of the download list.
inline constexpr const char* kStatusRunning = "下载中";
inline constexpr const char* kStatusCompleted = "下载完成";
inline constexpr const char* kStatusCannotSave = "无法保存";
inline constexpr const char* kStatusFailed = "失败";

/// How one download ended.
enum class DownloadOutcome {
    Completed, ///< the whole body is in the file
    Failed,    ///< no data came, or the transfer broke off; no file is left
    CannotSave ///< data came but no file could be made or written in the save folder; no file is left
};

/// The row status that shows the outcome.
[[nodiscard]] const char* statusText(DownloadOutcome outcome);

/// The last component of a link as the system's file-name finder takes it: the text after the last "\", "/" or ":"
/// that is followed by a character other than "\" and "/", or the whole link when there is none. A separator at the
/// very end stays part of it; empty text when the component ends in "\". A query part is kept.
[[nodiscard]] std::string fileNameFromLink(std::string_view link);

/// True when the name denotes a file directly inside a folder: not empty, not "." or "..", no "/" and no zero byte.
[[nodiscard]] bool isSaveableName(std::string_view name);

/// Fetches the link with the web helper's request headers and streams its body, whatever the status, into
/// saveFolder() + "/" + fileNameFromLink(link). The folder is asked for when the first data arrives. Blocks.
[[nodiscard]] DownloadOutcome downloadLink(const std::string& link, const std::function<std::string()>& saveFolder);

/// The work of one row: downloads the mirror link into the window's save folder as it reads when the data arrives,
/// then sets the row's status. A closed window takes the status silently.
void downloadWorker(const std::shared_ptr<ui::Window>& window, int row, const std::string& mirrorLink);

/// "下载": appends a row per link (number, link as entered, "下载中") and starts its download on a thread of its
/// own; returns at once. Blank input does nothing.
void startDownloads(ui::Window& window);

/// Gives up on a download that cannot connect, or whose answer pauses, for this many seconds; 0 or less restores
/// the web helper's 15 seconds. For tests that must not wait that long.
void setDownloadTimeoutSeconds(int seconds);

} // namespace download
