#include "tests/support/scripted_toolkit.h"

#include <algorithm>

namespace testsupport {

ScriptedToolkit::ScriptedToolkit() : uiThread_(std::this_thread::get_id()) {}

ScriptedToolkit::~ScriptedToolkit() {
    std::vector<std::shared_ptr<ui::Window>> shown;
    {
        std::lock_guard lock(mutex_);
        shown.swap(shown_);
    }
    for (const auto& window : shown)
        window->detach();
}

void ScriptedToolkit::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

bool ScriptedToolkit::onUiThread() const {
    return std::this_thread::get_id() == uiThread_;
}

int ScriptedToolkit::pump() {
    int ran = 0;
    while (true) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty())
                return ran;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        if (task)
            task();
        ++ran;
    }
}

bool ScriptedToolkit::runUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        pump();
        if (predicate())
            return true;
        std::unique_lock lock(mutex_);
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        // Wake on a post, or look again shortly for state that other threads change without posting.
        wake_.wait_for(lock, std::chrono::milliseconds(5), [this] { return !tasks_.empty(); });
    }
}

int ScriptedToolkit::run() {
    while (true) {
        pump();
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return quitting_ || !tasks_.empty(); });
        if (quitting_) {
            quitting_ = false;
            return exitCode_;
        }
    }
}

void ScriptedToolkit::quit(int code) {
    {
        std::lock_guard lock(mutex_);
        quitting_ = true;
        quitRequested_ = true;
        exitCode_ = code;
    }
    wake_.notify_all();
}

void ScriptedToolkit::realize(const std::shared_ptr<ui::Window>& window) {
    const std::string name = window->name();
    {
        std::lock_guard lock(mutex_);
        shown_.push_back(window);
    }
    (void)window->attach([this, name](const ui::Change& change) {
        std::lock_guard lock(mutex_);
        changes_[name].push_back(change);
    });
}

void ScriptedToolkit::unrealize(ui::Window& window) {
    window.detach();
    std::shared_ptr<ui::Window> keep;
    std::lock_guard lock(mutex_);
    const auto found =
        std::find_if(shown_.begin(), shown_.end(), [&](const auto& shown) { return shown.get() == &window; });
    if (found != shown_.end()) {
        keep = *found;
        shown_.erase(found);
    }
}

int ScriptedToolkit::messageBox(const ui::MessageBoxRequest& request) {
    std::lock_guard lock(mutex_);
    messageBoxes_.push_back(request);
    if (!answers_.empty()) {
        const int answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    return (request.style & 0x0F) == ui::kMbYesNo ? ui::kAnswerNo : ui::kAnswerOk;
}

std::string ScriptedToolkit::pickFolder(const std::string& title, const std::string& owner) {
    std::lock_guard lock(mutex_);
    folderRequests_.emplace_back(title, owner);
    return folderAnswer_;
}

std::string ScriptedToolkit::clipboardText() {
    std::lock_guard lock(mutex_);
    return clipboard_;
}

void ScriptedToolkit::setClipboardText(const std::string& text) {
    std::lock_guard lock(mutex_);
    clipboard_ = text;
}

void ScriptedToolkit::queueAnswer(int answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

std::vector<ui::MessageBoxRequest> ScriptedToolkit::messageBoxes() const {
    std::lock_guard lock(mutex_);
    return messageBoxes_;
}

std::size_t ScriptedToolkit::messageBoxCount() const {
    std::lock_guard lock(mutex_);
    return messageBoxes_.size();
}

void ScriptedToolkit::clearMessageBoxes() {
    std::lock_guard lock(mutex_);
    messageBoxes_.clear();
}

void ScriptedToolkit::setFolderAnswer(const std::string& folder) {
    std::lock_guard lock(mutex_);
    folderAnswer_ = folder;
}

std::vector<std::pair<std::string, std::string>> ScriptedToolkit::folderRequests() const {
    std::lock_guard lock(mutex_);
    return folderRequests_;
}

std::vector<std::string> ScriptedToolkit::shownWindows() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& window : shown_)
        names.push_back(window->name());
    return names;
}

std::shared_ptr<ui::Window> ScriptedToolkit::window(const std::string& name) const {
    std::lock_guard lock(mutex_);
    for (auto it = shown_.rbegin(); it != shown_.rend(); ++it) {
        if ((*it)->name() == name)
            return *it;
    }
    return nullptr;
}

std::vector<ui::Change> ScriptedToolkit::changes(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto found = changes_.find(name);
    return found == changes_.end() ? std::vector<ui::Change>() : found->second;
}

bool ScriptedToolkit::quitRequested() const {
    std::lock_guard lock(mutex_);
    return quitRequested_;
}

int ScriptedToolkit::exitCode() const {
    std::lock_guard lock(mutex_);
    return exitCode_;
}

ScriptedToolkit& installScriptedToolkit() {
    auto owned = std::make_unique<ScriptedToolkit>();
    ScriptedToolkit& toolkit = *owned;
    ui::setToolkit(std::move(owned));
    return toolkit;
}

} // namespace testsupport
