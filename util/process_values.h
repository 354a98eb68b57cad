#pragma once

// Values shared by the whole process: the joined launch arguments, the proxy of the acceleration runs, the main
// window and the settings file. Safe to read from any thread.

#include <memory>
#include <optional>
#include <string>

namespace ui {
class Window;
}

namespace util {

/// Every launch argument after the program's path, joined without separators; set once at start.
[[nodiscard]] const std::string& launchArguments();
/// Sets the launch arguments; called once, before any window or thread exists.
void setLaunchArguments(std::string joined);
/// True when the launch arguments contain the switch, ignoring letter case.
[[nodiscard]] bool hasSwitch(const std::string& launchSwitch);

/// The proxy of the acceleration runs: empty or "HTTP://" + server.
[[nodiscard]] std::string proxyUrl();
void setProxyUrl(const std::string& url);

/// The main window; nullptr before it exists.
[[nodiscard]] std::shared_ptr<ui::Window> mainWindow();
void setMainWindow(std::shared_ptr<ui::Window> window);

/// The status log's control in the main window.
inline constexpr const char* kStatusLogControl = "编辑框1";
/// Adds a line at the end of the main window's status log (CR LF, then the text); any thread.
void appendLog(const std::string& text);

/// True when the program runs without windows (no display); set once at start.
[[nodiscard]] bool isHeadless();
void setHeadless(bool headless);

/// The settings file: the run directory followed by "/Corvana配置.ini".
[[nodiscard]] std::string settingsFilePath();
/// Reads one key of the settings file (see platform::iniRead).
[[nodiscard]] std::string readSetting(const std::string& section, const std::string& key,
                                      const std::optional<std::string>& defaultValue = std::nullopt);
/// Writes one key of the settings file; failures are silent.
void writeSetting(const std::string& section, const std::string& key, const std::string& value);

} // namespace util
