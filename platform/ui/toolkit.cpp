#include "platform/ui/toolkit.h"

#include <atomic>
#include <mutex>

namespace ui {
namespace {

std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<Toolkit>& installed() {
    static std::unique_ptr<Toolkit> value;
    return value;
}

std::atomic<Toolkit*>& current() {
    static std::atomic<Toolkit*> value{nullptr};
    return value;
}

} // namespace

Toolkit& toolkit() {
    if (Toolkit* found = current().load(std::memory_order_acquire))
        return *found;
    // Nothing installed yet: serve headless rather than crash.
    std::lock_guard lock(registryMutex());
    if (!installed()) {
        installed() = makeHeadlessToolkit();
        current().store(installed().get(), std::memory_order_release);
    }
    return *installed();
}

void setToolkit(std::unique_ptr<Toolkit> toolkit) {
    std::unique_ptr<Toolkit> previous;
    {
        std::lock_guard lock(registryMutex());
        previous = std::move(installed());
        installed() = std::move(toolkit);
        current().store(installed().get(), std::memory_order_release);
    }
}

int messageBox(const std::string& text, int style, const std::string& title, const std::string& owner) {
    return toolkit().messageBox({.text = text, .style = style, .title = title, .owner = owner});
}

} // namespace ui
