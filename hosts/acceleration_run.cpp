#include "hosts/acceleration_run.h"

#include "hosts/clear_acceleration.h"
#include "hosts/hosts_file.h"
#include "hosts/main_window_controls.h"
#include "hosts/run_frame.h"
#include "platform/system.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"
#include "util/process_values.h"

#include <arpa/inet.h>
#include <chrono>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <utility>

namespace hosts {
namespace {

std::mutex& hooksMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<void(int)>& waitHook() {
    static std::function<void(int)> hook;
    return hook;
}

std::function<int(int, int)>& randomHook() {
    static std::function<int(int, int)> hook;
    return hook;
}

std::mt19937& generator() {
    static std::mt19937 engine;
    return engine;
}

bool parsesAsAddress(int family, const std::string& text) {
    // The address parser stops at a zero byte, which would let "1.2.3.4" followed by binary junk pass.
    if (text.find('\0') != std::string::npos)
        return false;
    in6_addr address{}; // room for either family
    return ::inet_pton(family, text.c_str(), &address) == 1;
}

void showPicture(const char* resource) {
    if (const auto window = util::mainWindow())
        window->setPicture(kPictureBox, resource);
}

void setStartLinkText(const char* text) {
    if (const auto window = util::mainWindow())
        window->setText(kStartLink, text);
}

// The run is over: under "-esp" the program ends, otherwise the link may start the next one.
void endRunOrProgram() {
    if (util::hasSwitch("-esp"))
        closeMainWindow();
    else
        setStartLinkText(kStartLinkIdle);
}

void fallbackEnding(const Block& fallbackBlock) {
    showFallbackText(fallbackBlock.fileText);
    setProgress(100);
    util::appendLog("Complete");
    showPicture(kIdlePicture);
    endRunOrProgram();
}

void finishRun() {
    if (util::hasSwitch("-esp")) {
        closeMainWindow();
        return;
    }
    setStartLinkText(kStartLinkIdle);
    util::appendLog("Complete");
    showPicture(kIdlePicture);
}

} // namespace

Block programBlock(std::string text) {
    Block block;
    block.fileText = toFileLineBreaks(text);
    block.text = std::move(text);
    return block;
}

bool isIpAddress(const std::string& text) {
    return parsesAsAddress(AF_INET, text) || parsesAsAddress(AF_INET6, text);
}

bool isIpv4Address(const std::string& text) {
    return parsesAsAddress(AF_INET, text);
}

void setProgress(int position) {
    if (const auto window = util::mainWindow())
        window->setProgress(kProgressBar, position);
}

bool rawContentChecked() {
    const auto window = util::mainWindow();
    return window && window->checked(kRawContentCheckBox);
}

void setRunWaitHook(std::function<void(int)> hook) {
    std::lock_guard lock(hooksMutex());
    waitHook() = std::move(hook);
}

void setRandomHook(std::function<int(int, int)> hook) {
    std::lock_guard lock(hooksMutex());
    randomHook() = std::move(hook);
}

void runWait(int milliseconds) {
    std::function<void(int)> hook;
    {
        std::lock_guard lock(hooksMutex());
        hook = waitHook();
    }
    if (hook)
        hook(milliseconds);
    else
        platform::sleepMs(milliseconds);
}

void seedRandom() {
    std::lock_guard lock(hooksMutex());
    generator().seed(
        static_cast<std::mt19937::result_type>(std::chrono::steady_clock::now().time_since_epoch().count()));
}

int drawRandom(int low, int high) {
    std::function<int(int, int)> hook;
    {
        std::lock_guard lock(hooksMutex());
        hook = randomHook();
        if (!hook)
            return std::uniform_int_distribution<int>(low, high)(generator());
    }
    return hook(low, high);
}

std::string fetchWithRetries(const std::function<std::string()>& read, const std::string& retryLine) {
    std::string answer = read();
    for (int retry = 0; retry < 3 && answer.empty(); ++retry) {
        util::appendLog(retryLine);
        answer = read();
    }
    return answer;
}

void abortRun(const std::string& hintLine) {
    setProgress(100);
    util::appendLog("Access error");
    util::appendLog(hintLine);
    showPicture(kIdlePicture);
    endRunOrProgram();
}

void installBlock(int source, const Block& block, const Block& fallbackBlock) {
    if (source == 1) {
        util::appendLog("Modify HOSTS...");
        setProgress(80);
    }
    std::string hostsText = readUtf8TextFile(hostsFilePath());
    if (source == 3)
        setProgress(50);
    // Source 1 writes its block even into a hosts text that read as empty.
    if (source != 1 && hostsText.empty()) {
        fallbackEnding(fallbackBlock);
        return;
    }
    if (source == 1)
        setProgress(90);
    if (source == 3)
        setProgress(70);
    // A block still in the text (the clearing at the start could not write, or an overlapping run has written
    // one since) would stand ahead of the new one and win over it: the new block takes its place.
    const std::string newText = appendBlock(cutManagedBlocks(std::move(hostsText)), block.fileText);
    if (source != 1)
        util::appendLog("Modify HOSTS...");
    if (!writeHostsText(newText)) {
        fallbackEnding(fallbackBlock);
        return;
    }
    if (source == 1)
        setProgress(95);
    else if (source != 3)
        setProgress(60);
    flushResolverCache();
    runWait(1000);
    setProgress(100);
    finishRun();
}

void startAcceleration() {
    const auto window = util::mainWindow();
    if (!window || window->text(kStartLink) != kStartLinkIdle)
        return;
    window->setText(kStartLink, kStartLinkBusy);
    const platform::SystemProxy proxy = platform::readSystemProxy();
    if (proxy.server.empty()) {
        util::setProxyUrl("");
    } else if (proxy.enabled) {
        if (util::hasSwitch("-fsp")) {
            util::setProxyUrl("HTTP://" + proxy.server);
        } else {
            const std::string question = "检测到你开启了IE代理：" + proxy.server + " 是否使用该代理加速？";
            if (ui::messageBox(question, ui::kMbYesNo + ui::kMbIconInformation, "", kMainWindowName) == ui::kAnswerYes)
                util::setProxyUrl("HTTP://" + proxy.server);
        }
    }
    util::appendLog("Start");
    bool started = false;
    for (int source = 1; source <= 5; ++source) {
        if (window->checked(kSourceRadioButtons[source - 1]))
            started = platform::startThread([source] { runAcceleration(source); }) || started;
    }
    // With no source selected nothing would ever hand the link back.
    if (!started)
        window->setText(kStartLink, kStartLinkIdle);
}

void runAcceleration(int source) {
    const auto window = util::mainWindow();
    if (window && window->checked(kSourceRadioButtons[2]))
        util::writeSetting("获取地址", "Data", "3");
    showPicture(kBusyPicture);
    util::appendLog("Initialization...");
    if (hasManagedBlock(readUtf8TextFile(hostsFilePath())))
        clearAcceleration();
    switch (source) {
    case 1:
        runAutomaticSource();
        break;
    case 2:
    case 4:
        runListSource(source);
        break;
    case 3:
        runLookupSource();
        break;
    case 5:
        runDirectSource();
        break;
    default:
        break;
    }
}

} // namespace hosts
