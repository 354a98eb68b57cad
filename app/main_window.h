#pragma once

#include <memory>

namespace ui {
class Window;
}

namespace app {

/// Loads the main window with all its handlers and makes it the process's main window; its destruction ends the
/// program. UI thread.
std::shared_ptr<ui::Window> loadMainWindow();

} // namespace app
