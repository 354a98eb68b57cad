#include "hosts/main_window_controls.h"

#include "platform/ui/window.h"
#include "util/process_values.h"

namespace hosts {

void closeMainWindow() {
    if (const auto window = util::mainWindow())
        window->close();
}

} // namespace hosts
