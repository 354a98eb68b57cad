#pragma once

// A secondary window (About, Ping, download) takes the main window's place while it is open: it opens where the
// main window stood, the main window hides, and when it closes the main window comes back where it last stood.

#include "platform/ui/layout.h"

#include <functional>
#include <memory>

namespace ui {
class Window;
}

namespace util {

/// Loads the secondary window with the handlers install() registers, then hides the main window. Its created
/// handler calls takeMainWindowPlace and its will-be-destroyed handler giveBackMainWindowPlace. UI thread.
std::shared_ptr<ui::Window> openSecondaryWindow(const ui::WindowSpec& spec,
                                                const std::function<void(ui::Window&)>& install);

/// The created step of a secondary window: move it to the main window's left and top.
void takeMainWindowPlace(ui::Window& window);
/// The will-be-destroyed step: move the main window to this window's left and top and show it again.
void giveBackMainWindowPlace(const ui::Window& window);

} // namespace util
