#pragma once

// Silent mode: an autostart entry left when the program closes with the box ticked, and hidden starts through it
// that accelerate at once and then every hour until the process is ended.

#include <chrono>
#include <string>

namespace ui {
class Window;
}

namespace app {

/// The argument the autostart entry starts the program with.
inline constexpr const char* kAutostartArgument = "AutoModeStart";
/// The time between two rounds of the silent loop.
inline constexpr std::chrono::milliseconds kSilentInterval = std::chrono::hours(1);

/// The autostart entry's path: the autostart folder followed by "Corvana.desktop".
[[nodiscard]] std::string autostartEntryPath();
/// True when silent mode is ticked and the launch arguments are exactly the autostart argument (with case).
[[nodiscard]] bool isAutostartLaunch(const ui::Window& main);
/// Creates the autostart entry when silent mode is ticked, deletes it otherwise; failures are not reported.
void updateAutostartEntry(const ui::Window& main);
/// Starts one acceleration run for each selected source button, without the proxy question.
void startSelectedSourceRuns(const ui::Window& main);
/// Trims memory, waits the interval, starts the runs again while the launch is still an autostart launch; forever.
[[noreturn]] void silentLoop(std::chrono::milliseconds interval);

} // namespace app
