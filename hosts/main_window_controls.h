#pragma once

// The main window's controls that the runs and the clearing write, by their names in the main window's layout.

namespace hosts {

/// The link "开始加速"; its text is the guard against a second run.
inline constexpr const char* kStartLink = "超级链接框1";
/// Text of the start link when no run started from it is going.
inline constexpr const char* kStartLinkIdle = "开始加速";
/// Text of the start link while a run started from it is going.
inline constexpr const char* kStartLinkBusy = "加速中...";
/// The run's progress bar (0 to 100).
inline constexpr const char* kProgressBar = "进度条1";
/// The picture box that shows the busy or idle picture.
inline constexpr const char* kPictureBox = "图片框1";
/// Resource shown while a run works.
inline constexpr const char* kBusyPicture = "busy.gif";
/// Resource shown when a run has ended.
inline constexpr const char* kIdlePicture = "idle.png";
/// The check box RawContentOption.
inline constexpr const char* kRawContentCheckBox = "选择框1";
/// The address-source radio buttons, 1 to 5 in order.
inline constexpr const char* kSourceRadioButtons[] = {"单选框1", "单选框2", "单选框3", "单选框4", "单选框5"};
/// Layout name of the main window, the owner of its message boxes.
inline constexpr const char* kMainWindowName = "MainWindow";

/// Closes the main window, which ends the program; nothing happens when there is none.
void closeMainWindow();

} // namespace hosts
