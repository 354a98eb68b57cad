#include "util/process_values.h"

#include "platform/system.h"
#include "platform/ui/window.h"
#include "util/text.h"

#include <atomic>
#include <mutex>

namespace util {
namespace {

std::string& arguments() {
    static std::string value;
    return value;
}

std::mutex& valuesMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string& proxy() {
    static std::string value;
    return value;
}

std::shared_ptr<ui::Window>& window() {
    static std::shared_ptr<ui::Window> value;
    return value;
}

std::atomic<bool>& headlessFlag() {
    static std::atomic<bool> value{false};
    return value;
}

} // namespace

bool isHeadless() { return headlessFlag().load(); }

void setHeadless(bool headless) { headlessFlag().store(headless); }

const std::string& launchArguments() { return arguments(); }

void setLaunchArguments(std::string joined) { arguments() = std::move(joined); }

bool hasSwitch(const std::string& launchSwitch) { return textContains(launchArguments(), launchSwitch); }

std::string proxyUrl() {
    std::lock_guard lock(valuesMutex());
    return proxy();
}

void setProxyUrl(const std::string& url) {
    std::lock_guard lock(valuesMutex());
    proxy() = url;
}

std::shared_ptr<ui::Window> mainWindow() {
    std::lock_guard lock(valuesMutex());
    return window();
}

void setMainWindow(std::shared_ptr<ui::Window> value) {
    std::lock_guard lock(valuesMutex());
    window() = std::move(value);
}

void appendLog(const std::string& text) {
    if (const auto window = mainWindow())
        window->appendText(kStatusLogControl, text);
}

std::string settingsFilePath() { return platform::runDirectory() + "/Corvana配置.ini"; }

std::string readSetting(const std::string& section, const std::string& key,
                        const std::optional<std::string>& defaultValue) {
    return platform::iniRead(settingsFilePath(), section, key, defaultValue);
}

void writeSetting(const std::string& section, const std::string& key, const std::string& value) {
    platform::iniWrite(settingsFilePath(), section, key, value);
}

} // namespace util
