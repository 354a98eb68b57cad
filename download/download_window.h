#pragma once

// The download window: GitHub links in, mirror links out, copied to the clipboard or downloaded into the save
// folder. It takes the main window's place while it is open.

#include "platform/ui/layout.h"

#include <memory>

namespace ui {
class Window;
}

namespace download {

/// Names of the window and of the controls its handlers use.
inline constexpr const char* kDownloadWindowName = "DownloadWindow";
inline constexpr const char* kLinkInputBox = "编辑框1";
inline constexpr const char* kSaveFolderBox = "编辑框2";
inline constexpr const char* kPasteLink = "超级链接框1";
inline constexpr const char* kDownloadLink = "超级链接框2";
inline constexpr const char* kBrowseLink = "超级链接框3";
inline constexpr const char* kCopyLinksLink = "超级链接框4";
inline constexpr const char* kDownloadList = "超级列表框1_DD";

/// Where the save folder is kept in the settings file.
inline constexpr const char* kSaveFolderSection = "加速下载保存目录";
inline constexpr const char* kSaveFolderKey = "s";

/// The window's layout: 485 x 384, mirror 1 selected, an empty download list with its three columns.
[[nodiscard]] ui::WindowSpec downloadWindowSpec();

/// Registers every handler of the window (created, will be destroyed, paste, links, download, browse).
void installDownloadWindow(ui::Window& window);

/// Opens a new download window in the main window's place and hides the main window; UI thread.
std::shared_ptr<ui::Window> openDownloadWindow();

} // namespace download
