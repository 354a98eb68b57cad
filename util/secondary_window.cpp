#include "util/secondary_window.h"

#include "platform/ui/window.h"
#include "util/process_values.h"

namespace util {

void takeMainWindowPlace(ui::Window& window) {
    if (const auto main = mainWindow()) {
        window.setLeft({}, main->left());
        window.setTop({}, main->top());
    }
}

void giveBackMainWindowPlace(const ui::Window& window) {
    if (const auto main = mainWindow()) {
        main->setLeft({}, window.left());
        main->setTop({}, window.top());
        main->setVisible({}, true);
    }
}

std::shared_ptr<ui::Window> openSecondaryWindow(const ui::WindowSpec& spec,
                                                const std::function<void(ui::Window&)>& install) {
    auto window = ui::loadWindow(spec, install);
    if (const auto main = mainWindow())
        main->setVisible({}, false);
    return window;
}

} // namespace util
