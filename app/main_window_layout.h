#pragma once

#include "platform/ui/layout.h"

#include <string>

namespace app {

/// The main window's layout name, used as owner of its message boxes.
inline constexpr const char* kMainWindowName = "MainWindow";

/// The status log's initial text, shown until the welcome text replaces it.
[[nodiscard]] std::string initialStatusLogText();
/// The welcome text that replaces the initial text at start.
[[nodiscard]] std::string welcomeText();
/// The tooltip of the raw-content check box.
[[nodiscard]] std::string rawContentTooltip();
/// The main window: title, size and every control.
[[nodiscard]] ui::WindowSpec mainWindowLayout();

} // namespace app
