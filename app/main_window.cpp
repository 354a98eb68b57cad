#include "app/main_window.h"

#include "app/about_window.h"
#include "app/main_window_layout.h"
#include "app/project_pages.h"
#include "app/settings.h"
#include "app/silent_mode.h"
#include "download/download_window.h"
#include "hosts/acceleration_run.h"
#include "hosts/clear_acceleration.h"
#include "ping/ping_window.h"
#include "platform/system.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"
#include "util/process_values.h"
#include "util/text.h"

#include <iostream>

namespace app {
namespace {

void showSourceThreeWarning() {
    ui::messageBox(util::joinText({"你好，亲爱的用户：", "",
                                   "收到其他的用户反馈，实际判断功能基本上无法正常工作，建议选择其他的模式。"},
                                  util::kCrLf),
                   ui::kMbIconInformation, "", kMainWindowName);
}

void showSilentModeHint() {
    ui::messageBox(util::joinText({"无感模式：", "",
                                   "在勾选本项后软件会自动创建一个开机自启动项目，此开机启动项会自动加速 Github "
                                   "，通过本启动项启动软件会隐藏至后台，此后会进行一小时自动加速一次，直到进程被结束。",
                                   "", "本功能适用于计算机每次重启后都得重新再加速的用户。", "",
                                   "Tips: 加速模式请自行勾选，建议选择“直接转换”"},
                                  util::kCrLf),
                   ui::kMbIconInformation, "无感模式", kMainWindowName);
}

void editHostsFile() {
    const std::string path = platform::hostsFilePath();
    if (util::isHeadless()) {
        std::cout << path << std::endl;
        return;
    }
    platform::shellOpen(path);
}

void onCreated(ui::Window& main) {
    readSilentModeSetting(main);
    main.setVisible({}, !isAutostartLaunch(main));
    if (util::hasSwitch("-hsp"))
        main.setMinimized(true);
    // The welcome text goes in before anything can be logged, so that no early line of a switch is lost.
    main.setText(util::kStatusLogControl, welcomeText());
    main.setText("超级链接框2", "v" + platform::readFileVersion(platform::programFilePath()));
    main.setTooltip("选择框1", rawContentTooltip());
    if (util::hasSwitch("-dsp"))
        platform::startThread([] { hosts::clearAcceleration(); });
    readSourceSettings(main);
    if (util::hasSwitch("-asp"))
        hosts::startAcceleration();
    if (isAutostartLaunch(main)) {
        startSelectedSourceRuns(main);
        platform::startThread([] { silentLoop(kSilentInterval); });
    }
}

void install(ui::Window& main) {
    main.on({}, ui::Event::Created, [&main] { onCreated(main); });
    main.on({}, ui::Event::WillBeDestroyed, [&main] {
        writeMainWindowSettings(main);
        updateAutostartEntry(main);
    });
    main.setAfterDestroy([] { platform::exitProgram(0); });
    main.on("超级链接框1", ui::Event::Released, [] { hosts::startAcceleration(); });
    main.on("超级链接框4", ui::Event::Released, [] { hosts::clearAcceleration(); });
    main.on("超级链接框3", ui::Event::Released, [] { openAboutWindow(); });
    main.on("超级链接框6", ui::Event::Released, [] { ping::openPingWindow(); });
    main.on("超级链接框9", ui::Event::Released, [] { download::openDownloadWindow(); });
    main.on("单选框3", ui::Event::Clicked, [] { showSourceThreeWarning(); });
    main.on("超级链接框10", ui::Event::Released, [] { showSilentModeHint(); });
    main.on("超级链接框8", ui::Event::Released, [] { platform::openUrl(kServiceHomePage); });
    main.on("超级链接框7", ui::Event::Released, [] { platform::openUrl(kServiceSearchPage); });
    main.on("超级链接框5", ui::Event::Released, [] { editHostsFile(); });
}

} // namespace

std::shared_ptr<ui::Window> loadMainWindow() {
    // The window becomes the process's main window before its created handler runs, since that handler logs.
    return ui::loadWindow(mainWindowLayout(), [](ui::Window& main) {
        util::setMainWindow(main.shared_from_this());
        install(main);
    });
}

} // namespace app
