#include "app/silent_mode.h"

#include "platform/system.h"
#include "platform/ui/window.h"
#include "util/process_values.h"

#include <thread>

namespace app {

std::string autostartEntryPath() {
    return platform::autostartFolder() + "Corvana.desktop";
}

bool isAutostartLaunch(const ui::Window& main) {
    return main.checked("选择框2") && util::launchArguments() == kAutostartArgument;
}

void updateAutostartEntry(const ui::Window& main) {
    const std::string path = autostartEntryPath();
    if (main.checked("选择框2")) {
        platform::createAutostartEntry(path, platform::programFilePath(), kAutostartArgument);
    } else if (platform::fileExists(path)) {
        platform::deleteFile(path);
    }
}

} // namespace app
