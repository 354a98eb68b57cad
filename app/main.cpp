// The program's entry: join the launch arguments, pick the toolkit (windows with a display, headless without),
// load the main window and serve the UI loop until the main window's destruction ends the process.

#include "app/main_window.h"
#include "platform/qt/qt_toolkit.h"
#include "platform/system.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"
#include "util/process_values.h"

#include <csignal>
#include <cstdlib>
#include <pthread.h>
#include <string>

namespace {

bool displayPresent() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

// SIGINT and SIGTERM close the main window as a user would, so its destruction handler still runs. The signals
// are blocked in every thread and taken by one thread that waits for them.
void closeMainWindowOnSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    platform::startThread([signals] {
        for (;;) {
            int received = 0;
            if (sigwait(&signals, &received) != 0)
                continue;
            if (const auto main = util::mainWindow())
                main->close();
            else
                platform::exitProgram(128 + received);
        }
    });
}

} // namespace

int main(int argc, char** argv) {
    std::string joined;
    for (int i = 1; i < argc; ++i)
        joined += argv[i];
    util::setLaunchArguments(joined);

    closeMainWindowOnSignals();
    const bool headless = !displayPresent();
    util::setHeadless(headless);
    ui::setToolkit(headless ? ui::makeHeadlessToolkit() : qtui::makeQtToolkit(argc, argv));
    ui::toolkit().post([] { app::loadMainWindow(); });
    return ui::toolkit().run();
}
