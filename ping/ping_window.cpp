#include "ping/ping_window.h"

#include "hosts/service_names.h"
#include "platform/net.h"
#include "platform/system.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"
#include "util/secondary_window.h"
#include "util/text.h"

#include <atomic>
#include <string>
#include <vector>

namespace ping {
namespace {

std::atomic<bool> gPingRunning{false};

// The host name of each row in row order. Kept beside the list because column 0 turns into the address form.
using HostNames = std::vector<std::string>;

ui::WindowSpec buildSpec() {
    using ui::ControlKind;
    ui::WindowSpec spec;
    spec.name = kPingWindowName;
    spec.title = "Ping Github 结果仅供参考，并不代表实际速度";
    spec.left = 50;
    spec.top = 50;
    spec.width = 485;
    spec.height = 384;

    ui::ControlSpec list = ui::makeControl(ControlKind::ReportList, kResultList, {}, -1, 0, 481, 320);
    list.columns = {{"地址", 381}, {"测试结果", 100}};
    ui::ControlSpec timeout = ui::makeControl(ControlKind::EditBox, kTimeoutBox, {}, 80, 327, 56, 21, "1200");
    timeout.centered = true;
    timeout.integerOnly = true;
    spec.controls = {
        list,
        ui::makeControl(ControlKind::Label, "透明标签1", {}, 16, 321, 56, 32, "超时时间："),
        timeout,
        // A thin rule under the time-out box.
        ui::makeControl(ControlKind::PictureBox, "图片框1", {}, 80, 349, 56, 2),
        ui::makeControl(ControlKind::Label, "透明标签2", {}, 144, 321, 32, 32, "ms"),
        ui::makeControl(ControlKind::Hyperlink, kStartLink, {}, 392, 325, 80, 24, "开始 Ping"),
    };
    return spec;
}

// Created: the main host first, then every non-blank entry of the service's list, in order.
void fillList(ui::Window& window, HostNames& names) {
    window.deleteAllRows(kResultList);
    names.clear();
    const auto addRow = [&](const std::string& name) {
        const int row = window.insertRow(kResultList);
        if (row < 0)
            return;
        window.setCellText(kResultList, row, kAddressColumn, name);
        names.resize(static_cast<std::size_t>(row) + 1);
        names[static_cast<std::size_t>(row)] = name;
    };
    addRow(std::string(hosts::kServiceMainHost));
    for (const std::string& entry : util::splitText(hosts::kServiceHostList, util::kCrLf)) {
        if (!util::removeSpaces(entry).empty())
            addRow(entry);
    }
}

std::string resultText(int replyMs) {
    return replyMs == -1 ? std::string("Timeout") : std::to_string(replyMs) + "ms";
}

void endSweep(ui::Window& window) {
    window.setDisabled(kStartLink, false);
    gPingRunning = false;
}

// The sweep thread: one row after the other, each shown as soon as it is done. It holds the window, so a window
// closed meanwhile stays valid; its writes then reach no widget, and the remaining rows are not pinged.
void runSweep(const std::shared_ptr<ui::Window>& window, const HostNames& names) {
    const int rows = window->rowCount(kResultList);
    for (int row = 0; row < rows && !window->closed(); ++row) {
        const std::size_t index = static_cast<std::size_t>(row);
        if (index >= names.size() || names[index].empty())
            continue;
        const std::string& name = names[index];
        const std::string address = platform::resolveHostName(name);
        window->setCellText(kResultList, row, kAddressColumn, address + " - " + name);
        // Read anew for every row, so that a changed time-out applies to the rows still to come.
        const int timeoutMs = util::textToInt(window->text(kTimeoutBox));
        window->setCellText(kResultList, row, kResultColumn, resultText(platform::pingHost(address, timeoutMs)));
    }
    endSweep(*window);
}

// "开始 Ping" released. The flag and the link are set here already, so that neither a second press nor a close can
// slip in before the sweep thread runs.
void startSweep(const std::shared_ptr<ui::Window>& window, const HostNames& names) {
    bool idle = false;
    if (!gPingRunning.compare_exchange_strong(idle, true))
        return;
    window->setDisabled(kStartLink, true);
    const int rows = window->rowCount(kResultList);
    for (int row = 0; row < rows; ++row)
        window->setCellText(kResultList, row, kResultColumn, {});
    if (!platform::startThread([window, names] { runSweep(window, names); }))
        endSweep(*window);
}

void install(ui::Window& window) {
    const auto names = std::make_shared<HostNames>();
    window.on({}, ui::Event::Created, [&window, names] {
        util::takeMainWindowPlace(window);
        fillList(window, *names);
    });
    window.on(kStartLink, ui::Event::Released, [&window, names] {
        if (const auto self = window.weak_from_this().lock())
            startSweep(self, *names);
    });
    window.setCloseGuard([] {
        if (!gPingRunning)
            return true;
        (void)ui::messageBox(kWaitForSweepText, ui::kMbOk, {}, kPingWindowName);
        return false;
    });
    window.on({}, ui::Event::WillBeDestroyed, [&window] { util::giveBackMainWindowPlace(window); });
}

} // namespace

const ui::WindowSpec& pingWindowSpec() {
    static const ui::WindowSpec spec = buildSpec();
    return spec;
}

std::shared_ptr<ui::Window> openPingWindow() {
    return util::openSecondaryWindow(pingWindowSpec(), install);
}

bool pingRunning() {
    return gPingRunning;
}

} // namespace ping
