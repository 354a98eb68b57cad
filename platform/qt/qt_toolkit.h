#pragma once

// The Qt toolkit: real windows built from the layouts, message boxes, the folder dialog and the clipboard. This header
// includes no Qt, so the program's start can choose between Qt and headless without seeing Qt.

#include "platform/ui/toolkit.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qtui {

/// Starts Qt (QApplication with argc and argv, which must outlive the toolkit) and answers its toolkit. The calling
/// thread becomes the GUI thread. One per process. Qt itself ends the process when its platform cannot start, so the
/// caller picks Qt only when a display (or QT_QPA_PLATFORM) is there.
[[nodiscard]] std::unique_ptr<ui::Toolkit> makeQtToolkit(int& argc, char** argv);

/// Saves a picture of the named realized window, as it is drawn now, as a PNG file; false when no such window is
/// realized or the file cannot be written. Any thread.
[[nodiscard]] bool saveScreenshot(const std::string& windowName, const std::string& pngPath);

/// What an open dialog shows, as the dialog answerer sees it (test seam).
struct DialogView {
    /// False for a message box, true for the folder dialog.
    bool folder = false;
    std::string title;
    /// The message as shown, lines separated by LF; empty for the folder dialog.
    std::string text;
    /// "critical", "information", "warning", "question", or empty for none.
    std::string icon;
    /// The answers its buttons give, in order (ui::kAnswerOk, or ui::kAnswerYes and ui::kAnswerNo).
    std::vector<int> buttons;
    /// Name of the realized window the dialog belongs to; empty when it has no owner.
    std::string owner;
    bool applicationModal = false;
};

/// How the answerer answers a dialog (test seam).
struct DialogAnswer {
    /// The button to press in a message box.
    int button = ui::kAnswerOk;
    /// The folder the folder dialog answers; empty text cancels it.
    std::string folder;
};

/// Test seam for GUI tests: while set, every message box and folder dialog is answered by this function instead of a
/// person. It runs on the GUI thread once the dialog is open; the realizer then presses the answered button (or
/// accepts the answered folder). An empty function gives the dialogs back to people.
void setDialogAnswerer(std::function<DialogAnswer(const DialogView&)> answerer);

} // namespace qtui
