#pragma once

// A toolkit for logic tests of windows: the test's own thread is the UI thread, posted work runs when the test pumps,
// message boxes and the folder dialog are answered from a script and recorded, the clipboard lives in memory.

#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class ScriptedToolkit final : public ui::Toolkit {
public:
    /// The constructing thread is the UI thread.
    ScriptedToolkit();
    /// Detaches from the windows still shown.
    ~ScriptedToolkit() override;

    void post(std::function<void()> task) override;
    [[nodiscard]] bool onUiThread() const override;
    /// Pumps, waiting for posts, until quit(); answers its code.
    int run() override;
    void quit(int code) override;
    /// Records the window as shown and the changes it reports.
    void realize(const std::shared_ptr<ui::Window>& window) override;
    void unrealize(ui::Window& window) override;
    /// Records the request and answers the next scripted answer; without one, OK (No for Yes/No boxes). Any thread.
    int messageBox(const ui::MessageBoxRequest& request) override;
    /// Records the request and answers the scripted folder (empty text unless set).
    std::string pickFolder(const std::string& title, const std::string& owner) override;
    std::string clipboardText() override;
    void setClipboardText(const std::string& text) override;

    /// Runs what is queued, also what those tasks queue; answers how many tasks ran.
    int pump();
    /// Pumps until the predicate holds, waiting for posts from other threads; false when the time ran out first.
    bool runUntil(const std::function<bool()>& predicate,
                  std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

    /// Queues the answer of a coming message box (kAnswerOk, kAnswerYes, kAnswerNo), first queued first used.
    void queueAnswer(int answer);
    /// Every message box asked for so far, in order.
    [[nodiscard]] std::vector<ui::MessageBoxRequest> messageBoxes() const;
    [[nodiscard]] std::size_t messageBoxCount() const;
    void clearMessageBoxes();

    /// The folder the next folder dialogs answer; empty text stands for a cancelled dialog.
    void setFolderAnswer(const std::string& folder);
    /// Title and owner of every folder dialog asked for.
    [[nodiscard]] std::vector<std::pair<std::string, std::string>> folderRequests() const;

    /// Names of the windows realized and not yet destroyed, in the order they were realized.
    [[nodiscard]] std::vector<std::string> shownWindows() const;
    /// The realized window of that name; nullptr when none is.
    [[nodiscard]] std::shared_ptr<ui::Window> window(const std::string& name) const;
    /// Every change the named window reported while realized (also after it was destroyed).
    [[nodiscard]] std::vector<ui::Change> changes(const std::string& name) const;

    /// True once quit() was called; its code.
    [[nodiscard]] bool quitRequested() const;
    [[nodiscard]] int exitCode() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::thread::id uiThread_;
    bool quitting_ = false;
    bool quitRequested_ = false;
    int exitCode_ = 0;
    std::deque<int> answers_;
    std::vector<ui::MessageBoxRequest> messageBoxes_;
    std::string folderAnswer_;
    std::vector<std::pair<std::string, std::string>> folderRequests_;
    std::string clipboard_;
    std::vector<std::shared_ptr<ui::Window>> shown_;
    std::map<std::string, std::vector<ui::Change>> changes_;
};

/// Installs a fresh ScriptedToolkit as the process's toolkit (ui::setToolkit) and answers it; the calling thread
/// becomes the UI thread.
ScriptedToolkit& installScriptedToolkit();

} // namespace testsupport
