// The Ping window through the real Qt realizer (offscreen): the list widget with every name, a sweep started by a
// click on the link, the close refused while it runs, the main window back at the Ping window's place, and a
// screenshot in the build folder.

#include "ping/ping_window.h"

#include "platform/qt/qt_toolkit.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"
#include "tests/ping/scripted_network.h"
#include "util/process_values.h"

#include "tests/support/qt_gui.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTreeWidget>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

namespace {

[[maybe_unused]] const bool kQt = (testsupport::installOffscreenQtToolkit(), true);

bool waitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return testsupport::waitForGui(predicate, timeout);
}

QWidget* topLevel(const char* name) {
    return testsupport::shownTopLevel(name);
}

TEST(PingWindowGuiTest, SweepsRefusesTheCloseMeanwhileAndHandsThePlaceBack) {
    pingtest::ScriptedNetwork network;
    network.assignAddresses("10.0.1.", {"github.blog"});

    ui::WindowSpec mainSpec;
    mainSpec.name = "MainWindow";
    mainSpec.title = "Corvana";
    const auto mainWindow = ui::loadWindow(mainSpec, {});
    mainWindow->setLeft({}, 120);
    mainWindow->setTop({}, 90);
    util::setMainWindow(mainWindow);
    ASSERT_TRUE(waitFor([] { return topLevel("MainWindow") != nullptr; }));

    const auto window = ping::openPingWindow();
    QWidget* shown = nullptr;
    ASSERT_TRUE(
        waitFor([&] { return (shown = topLevel("PingWindow")) != nullptr && topLevel("MainWindow") == nullptr; }));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shown));
    EXPECT_EQ(shown->pos(), QPoint(120, 90));
    EXPECT_EQ(shown->windowTitle(), QString::fromUtf8("Ping Github 结果仅供参考，并不代表实际速度"));

    auto* list = shown->findChild<QTreeWidget*>(QString::fromUtf8(ping::kResultList));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->topLevelItemCount(), 40);
    EXPECT_EQ(list->headerItem()->text(0), QString::fromUtf8("地址"));
    EXPECT_EQ(list->headerItem()->text(1), QString::fromUtf8("测试结果"));
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("github.com"));
    EXPECT_EQ(list->findItems(QStringLiteral("assets-cdn.github.com"), Qt::MatchExactly, 0).size(), 2);

    std::vector<qtui::DialogView> dialogs;
    qtui::setDialogAnswerer([&](const qtui::DialogView& view) {
        dialogs.push_back(view);
        return qtui::DialogAnswer{ui::kAnswerOk, {}};
    });

    // Start the sweep with a click, as a user would, and hold it at its fifth echo.
    network.holdAt(4);
    auto* link = shown->findChild<QLabel*>(QString::fromUtf8(ping::kStartLink));
    ASSERT_NE(link, nullptr);
    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_TRUE(waitFor([] { return ping::pingRunning(); }));
    ASSERT_TRUE(network.waitUntilHeld());
    ASSERT_TRUE(waitFor([&] { return !link->isEnabled(); }));

    shown->close();
    ASSERT_TRUE(waitFor([&] { return !dialogs.empty(); }));
    EXPECT_EQ(dialogs.front().text, "请等待测试完成");
    EXPECT_EQ(dialogs.front().title, "");
    EXPECT_EQ(dialogs.front().icon, "");
    EXPECT_EQ(dialogs.front().buttons, std::vector<int>{ui::kAnswerOk});
    EXPECT_EQ(dialogs.front().owner, "PingWindow");
    (void)waitFor([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_FALSE(window->closed());
    EXPECT_TRUE(shown->isVisible());

    network.release();
    ASSERT_TRUE(waitFor([] { return !ping::pingRunning(); }));
    ASSERT_TRUE(waitFor([&] { return link->isEnabled() && !list->topLevelItem(39)->text(1).isEmpty(); }));
    const auto names = pingtest::expectedRowNames();
    for (int row = 0; row < 40; ++row) {
        const std::string& name = names[static_cast<std::size_t>(row)];
        const std::string address = network.addressOf(name);
        const int reply = pingtest::ScriptedNetwork::replyFor(address);
        EXPECT_EQ(list->topLevelItem(row)->text(0).toStdString(), address + " - " + name) << "row " << row;
        EXPECT_EQ(list->topLevelItem(row)->text(1).toStdString(),
                  reply == -1 ? std::string("Timeout") : std::to_string(reply) + "ms")
            << "row " << row;
    }
    EXPECT_EQ(list->topLevelItem(3)->text(0).toStdString(), " - github.blog");

    const std::string screenshot = std::string(CORVANA_PING_SCREENSHOT_DIR) + "/ping_window.png";
    std::filesystem::remove(screenshot);
    EXPECT_TRUE(qtui::saveScreenshot("PingWindow", screenshot));
    EXPECT_TRUE(std::filesystem::exists(screenshot));

    // The user moves the Ping window and closes it: the main window comes back there.
    shown->move(260, 170);
    ASSERT_TRUE(waitFor([&] { return window->left() == 260 && window->top() == 170; }));
    shown->close();
    ASSERT_TRUE(waitFor([&] { return window->closed() && topLevel("MainWindow") != nullptr; }));
    EXPECT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(mainWindow->left(), 260);
    EXPECT_EQ(mainWindow->top(), 170);
    EXPECT_EQ(topLevel("MainWindow")->pos(), QPoint(260, 170));

    qtui::setDialogAnswerer({});
    util::setMainWindow(nullptr);
    mainWindow->close();
    EXPECT_TRUE(waitFor([&] { return mainWindow->closed(); }));
}

} // namespace
