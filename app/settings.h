#pragma once

// The main window's lasting choices in the settings file: the address source and the two check boxes.

namespace ui {
class Window;
}

namespace app {

inline constexpr const char* kSectionSource = "获取地址";
inline constexpr const char* kSectionOther = "其余设置";
inline constexpr const char* kKeySource = "Data";
inline constexpr const char* kKeyAutoMode = "AutoMode";

/// Ticks the silent-mode box from "AutoMode".
void readSilentModeSetting(ui::Window& main);
/// Unticks the five source buttons and the raw-content box, then sets them from "Data" and the raw-content key.
void readSourceSettings(ui::Window& main);
/// Writes the selected source (when one is), the raw-content tick and "AutoMode", in that order.
void writeMainWindowSettings(const ui::Window& main);

} // namespace app
