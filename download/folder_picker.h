#pragma once

// "浏览": the save folder chosen with the system's folder dialog.

namespace ui {
class Window;
}

namespace download {

/// Title of the folder dialog.
inline constexpr const char* kPickFolderTitle = "请选择保存目录";

/// Asks for a folder in a dialog owned by the window; a chosen folder replaces the save-folder box, a cancelled
/// dialog leaves it as it was. UI thread.
void browseSaveFolder(ui::Window& window);

} // namespace download
