#pragma once

// Toolkit services: the UI thread's loop, realizing windows, message boxes, the folder dialog and the clipboard.
// One toolkit serves the process: Qt with a display, headless without one, a scripted one in tests.

#include <functional>
#include <memory>
#include <string>

namespace ui {

class Window;

/// Message-box style flags as the program passes them (sums of these).
inline constexpr int kMbOk = 0;
inline constexpr int kMbYesNo = 4;
inline constexpr int kMbIconError = 16;
inline constexpr int kMbIconInformation = 64;
/// Answers of a message box.
inline constexpr int kAnswerOk = 0;
inline constexpr int kAnswerYes = 5;
inline constexpr int kAnswerNo = 6;

/// One message box as asked for.
struct MessageBoxRequest {
    std::string text;
    int style = kMbOk;
    std::string title;
    /// Name of the owning window; empty for none.
    std::string owner;
};

class Toolkit {
public:
    virtual ~Toolkit() = default;

    /// Runs the function on the UI thread, in order with other posts; callable from any thread.
    virtual void post(std::function<void()> task) = 0;
    /// True on the UI thread.
    [[nodiscard]] virtual bool onUiThread() const = 0;
    /// Runs the UI thread's loop until quit(); answers the exit code.
    virtual int run() = 0;
    /// Ends run() with the code.
    virtual void quit(int code) = 0;

    /// Builds whatever shows the window and attaches to it; UI thread.
    virtual void realize(const std::shared_ptr<Window>& window) = 0;
    /// Lets go of a destroyed window; UI thread.
    virtual void unrealize(Window& window) = 0;

    /// Shows a task-modal message box owned by the named window and blocks the caller until it is answered;
    /// callable from any thread. Answers kAnswerOk, kAnswerYes or kAnswerNo.
    virtual int messageBox(const MessageBoxRequest& request) = 0;
    /// The folder dialog owned by the window; the chosen folder's path, empty text when cancelled or unavailable.
    virtual std::string pickFolder(const std::string& title, const std::string& owner) = 0;
    /// The clipboard's text; empty when it holds none.
    virtual std::string clipboardText() = 0;
    /// Leaves exactly this text on the clipboard.
    virtual void setClipboardText(const std::string& text) = 0;
};

/// The process's toolkit; set once at start, before any window exists.
Toolkit& toolkit();
/// Installs the toolkit (the previous one is released).
void setToolkit(std::unique_ptr<Toolkit> toolkit);

/// Message box through the process's toolkit; any thread.
int messageBox(const std::string& text, int style, const std::string& title, const std::string& owner);

/// The headless toolkit: appended log lines to stdout, message boxes to stderr with their default answer, a plain
/// queue as the UI loop, no widgets.
std::unique_ptr<Toolkit> makeHeadlessToolkit();

} // namespace ui
