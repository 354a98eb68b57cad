#pragma once

#include "platform/ui/layout.h"

#include <memory>

namespace ui {
class Window;
}

namespace app {

/// The About window's layout name.
inline constexpr const char* kAboutWindowName = "AboutWindow";

/// The About window: logo, name, credits, version and the two links.
[[nodiscard]] ui::WindowSpec aboutWindowLayout();
/// Opens the About window in the main window's place. UI thread.
std::shared_ptr<ui::Window> openAboutWindow();

} // namespace app
