#pragma once

// The Ping window: for each of the service's host names, the address it resolves to now and the reply time of one
// ICMP echo to that address. It takes the main window's place while it is open; a sweep runs on its own thread and
// the window cannot be closed while one runs.

#include "platform/ui/layout.h"

#include <memory>

namespace ui {
class Window;
}

namespace ping {

inline constexpr const char* kPingWindowName = "PingWindow";
/// The report list of host names and results.
inline constexpr const char* kResultList = "超级列表框1_";
/// The time-out box, in milliseconds.
inline constexpr const char* kTimeoutBox = "编辑框1_timeout";
/// The link that starts a sweep.
inline constexpr const char* kStartLink = "超级链接框1";
/// Column of the list with the host name, later the address form "address - name".
inline constexpr int kAddressColumn = 0;
/// Column of the list with the reply time or "Timeout".
inline constexpr int kResultColumn = 1;
/// What the close guard shows while a sweep runs.
inline constexpr const char* kWaitForSweepText = "请等待测试完成";

/// The layout of the Ping window.
[[nodiscard]] const ui::WindowSpec& pingWindowSpec();

/// Opens the Ping window in the main window's place and hides the main window; UI thread. Answers the window.
std::shared_ptr<ui::Window> openPingWindow();

/// True from the start of a sweep to its end (process-wide; at most one sweep runs at a time).
[[nodiscard]] bool pingRunning();

} // namespace ping
