#include "app/silent_mode.h"

#include "hosts/acceleration_run.h"
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

void startSelectedSourceRuns(const ui::Window& main) {
    for (int source = 1; source <= 5; ++source) {
        if (main.checked("单选框" + std::to_string(source)))
            platform::startThread([source] { hosts::runAcceleration(source); });
    }
}

void silentLoop(std::chrono::milliseconds interval) {
    for (;;) {
        platform::trimWorkingSet();
        // A plain timed sleep: the thread owns no window, so there is nothing to serve while it waits.
        std::this_thread::sleep_for(interval);
        const auto main = util::mainWindow();
        if (main && isAutostartLaunch(*main))
            startSelectedSourceRuns(*main);
    }
}

} // namespace app
