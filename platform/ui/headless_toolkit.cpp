// The toolkit of runs without a display: the same windows and handlers, no widgets. Log lines go to stdout, message
// boxes to stderr with their default answer.

#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>

namespace ui {
namespace {

// One lock for both streams, so that lines written by several threads never interleave.
std::mutex& outputMutex() {
    static std::mutex mutex;
    return mutex;
}

// Writes one line per line of the text (CR LF or LF), each with the prefix, then flushes.
void writeLines(std::FILE* stream, std::string_view prefix, std::string_view text) {
    std::lock_guard lock(outputMutex());
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        std::string_view line = text.substr(start, last ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::fwrite(prefix.data(), 1, prefix.size(), stream);
        std::fwrite(line.data(), 1, line.size(), stream);
        std::fputc('\n', stream);
        if (last)
            break;
        start = end + 1;
    }
    std::fflush(stream);
}

class HeadlessToolkit final : public Toolkit {
public:
    void post(std::function<void()> task) override {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        wake_.notify_one();
    }

    bool onUiThread() const override {
        std::lock_guard lock(mutex_);
        return std::this_thread::get_id() == uiThread_;
    }

    int run() override {
        std::unique_lock lock(mutex_);
        uiThread_ = std::this_thread::get_id();
        while (true) {
            wake_.wait(lock, [this] { return quitting_ || !tasks_.empty(); });
            if (quitting_)
                break;
            std::function<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            if (task)
                task();
            lock.lock();
        }
        quitting_ = false;
        return exitCode_;
    }

    void quit(int code) override {
        {
            std::lock_guard lock(mutex_);
            quitting_ = true;
            exitCode_ = code;
        }
        wake_.notify_all();
    }

    void realize(const std::shared_ptr<Window>& window) override {
        {
            std::lock_guard lock(mutex_);
            windows_.insert(window);
        }
        // Only the appended log lines are shown; the appended text is the line itself.
        (void)window->attach([](const Change& change) {
            if (change.kind == Change::Kind::Append)
                writeLines(stdout, {}, change.text);
        });
    }

    void unrealize(Window& window) override {
        window.detach();
        std::shared_ptr<Window> keep;
        std::lock_guard lock(mutex_);
        for (auto it = windows_.begin(); it != windows_.end(); ++it) {
            if (it->get() == &window) {
                // Released after the lock: the last reference may go here.
                keep = *it;
                windows_.erase(it);
                break;
            }
        }
    }

    int messageBox(const MessageBoxRequest& request) override {
        writeLines(stderr, "[" + request.title + "] ", request.text);
        return (request.style & 0x0F) == kMbYesNo ? kAnswerNo : kAnswerOk;
    }

    std::string pickFolder(const std::string&, const std::string&) override { return {}; }

    std::string clipboardText() override {
        std::lock_guard lock(mutex_);
        return clipboard_;
    }

    void setClipboardText(const std::string& text) override {
        std::lock_guard lock(mutex_);
        clipboard_ = text;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    // The thread that builds the first windows serves the loop until run() is called on another.
    std::thread::id uiThread_ = std::this_thread::get_id();
    bool quitting_ = false;
    int exitCode_ = 0;
    // Realized windows stay alive until they are destroyed, also when their opener let go of them.
    std::set<std::shared_ptr<Window>> windows_;
    std::string clipboard_;
};

} // namespace

std::unique_ptr<Toolkit> makeHeadlessToolkit() {
    return std::make_unique<HeadlessToolkit>();
}

} // namespace ui
