// The Ping window driven through the window model: the list it opens with, sweeps with a scripted resolver and
// echo, the time-out box, the close guard and the hand-over to the main window.

#include "ping/ping_window.h"

#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"
#include "tests/ping/scripted_network.h"
#include "tests/support/scripted_toolkit.h"
#include "util/process_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using ping::kAddressColumn;
using ping::kResultColumn;
using ping::kResultList;
using ping::kStartLink;
using ping::kTimeoutBox;

constexpr int kMainLeft = 200;
constexpr int kMainTop = 150;

class PingWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::WindowSpec mainSpec;
        mainSpec.name = "MainWindow";
        mainSpec.title = "Corvana";
        mainWindow = ui::loadWindow(mainSpec, {});
        mainWindow->setLeft({}, kMainLeft);
        mainWindow->setTop({}, kMainTop);
        util::setMainWindow(mainWindow);
        network.assignAddresses("10.0.1.");
        window = ping::openPingWindow();
    }

    void TearDown() override {
        network.release();
        EXPECT_TRUE(toolkit.runUntil([] { return !ping::pingRunning(); }));
        window->close();
        toolkit.pump();
        util::setMainWindow(nullptr);
    }

    // Presses "开始 Ping" and waits for the sweep to end.
    void sweep() {
        window->fire(kStartLink, ui::Event::Released);
        ASSERT_TRUE(toolkit.runUntil([] { return !ping::pingRunning(); }));
    }

    [[nodiscard]] std::vector<std::string> column(int index) const {
        std::vector<std::string> cells;
        for (int row = 0; row < window->rowCount(kResultList); ++row)
            cells.push_back(window->cellText(kResultList, row, index));
        return cells;
    }

    // What each row shows once pinged with the network as it answers now.
    [[nodiscard]] std::vector<std::string> expectedAddressColumn() const {
        std::vector<std::string> cells;
        for (const std::string& name : pingtest::expectedRowNames())
            cells.push_back(network.addressOf(name) + " - " + name);
        return cells;
    }

    [[nodiscard]] std::vector<std::string> expectedResultColumn() const {
        std::vector<std::string> cells;
        for (const std::string& name : pingtest::expectedRowNames()) {
            const int reply = pingtest::ScriptedNetwork::replyFor(network.addressOf(name));
            cells.push_back(reply == -1 ? "Timeout" : std::to_string(reply) + "ms");
        }
        return cells;
    }

    testsupport::ScriptedToolkit& toolkit = testsupport::installScriptedToolkit();
    pingtest::ScriptedNetwork network;
    std::shared_ptr<ui::Window> mainWindow;
    std::shared_ptr<ui::Window> window;
};

TEST_F(PingWindowTest, OpensInTheMainWindowsPlaceListingEveryNameWithoutResults) {
    EXPECT_EQ(window->name(), "PingWindow");
    EXPECT_EQ(window->text({}), "Ping Github 结果仅供参考，并不代表实际速度");
    EXPECT_EQ(window->spec().width, 485);
    EXPECT_EQ(window->spec().height, 384);
    const ui::ControlSpec* list = ui::findControl(window->spec(), kResultList);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->columns.size(), 2u);
    EXPECT_EQ(list->columns[0].heading, "地址");
    EXPECT_EQ(list->columns[1].heading, "测试结果");

    EXPECT_EQ(window->left(), kMainLeft);
    EXPECT_EQ(window->top(), kMainTop);
    EXPECT_FALSE(mainWindow->visible());
    EXPECT_EQ(toolkit.shownWindows(), (std::vector<std::string>{"MainWindow", "PingWindow"}));

    const std::vector<std::string> names = column(kAddressColumn);
    ASSERT_EQ(names.size(), 40u);
    EXPECT_EQ(names.front(), "github.com");
    EXPECT_EQ(names, pingtest::expectedRowNames());
    EXPECT_EQ(std::count(names.begin(), names.end(), "assets-cdn.github.com"), 2);
    EXPECT_EQ(column(kResultColumn), std::vector<std::string>(40));
    EXPECT_EQ(window->text(kTimeoutBox), "1200");
    EXPECT_FALSE(window->disabled(kStartLink));
    EXPECT_TRUE(network.calls().empty()) << "nothing is pinged before the link is pressed";

    // Without a sweep the window closes at once and the main window comes back where it stood.
    EXPECT_TRUE(window->requestClose());
    EXPECT_EQ(toolkit.messageBoxCount(), 0u);
    EXPECT_TRUE(mainWindow->visible());
    EXPECT_EQ(mainWindow->left(), kMainLeft);
    EXPECT_EQ(mainWindow->top(), kMainTop);
}

TEST_F(PingWindowTest, ASweepResolvesAndPingsEveryRowInOrder) {
    network.assignAddresses("10.0.1.", {"github.io"});
    sweep();

    EXPECT_EQ(column(kAddressColumn), expectedAddressColumn());
    EXPECT_EQ(window->cellText(kResultList, 1, kAddressColumn), " - github.io") << "a name that does not resolve";
    EXPECT_EQ(column(kResultColumn), expectedResultColumn());
    const std::vector<std::string> results = column(kResultColumn);
    EXPECT_TRUE(std::find(results.begin(), results.end(), "Timeout") != results.end());
    EXPECT_TRUE(std::find(results.begin(), results.end(), "3ms") != results.end());

    // The resolved address is what is pinged, the empty text for the name that did not resolve; rows in order.
    const auto calls = network.calls();
    ASSERT_EQ(calls.size(), 40u);
    const auto names = pingtest::expectedRowNames();
    for (std::size_t row = 0; row < calls.size(); ++row) {
        EXPECT_EQ(calls[row].host, network.addressOf(names[row])) << "row " << row;
        EXPECT_EQ(calls[row].timeoutMs, 1200) << "row " << row;
    }
    EXPECT_EQ(calls[1].host, "");

    EXPECT_FALSE(window->disabled(kStartLink));
    EXPECT_FALSE(ping::pingRunning());
}

TEST_F(PingWindowTest, ASecondSweepClearsTheResultsFirstAndShowsTheCurrentAddresses) {
    sweep();
    network.assignAddresses("10.0.2.");
    network.holdAt(40);

    window->fire(kStartLink, ui::Event::Released);
    EXPECT_TRUE(window->disabled(kStartLink)) << "disabled before the sweep thread runs";
    EXPECT_TRUE(ping::pingRunning());
    ASSERT_TRUE(network.waitUntilHeld());
    EXPECT_EQ(column(kResultColumn), std::vector<std::string>(40));
    EXPECT_EQ(window->cellText(kResultList, 0, kAddressColumn), "10.0.2.1 - github.com");
    EXPECT_EQ(window->cellText(kResultList, 1, kAddressColumn), "10.0.1.2 - github.io") << "not yet pinged again";

    // A press while the sweep runs starts nothing.
    window->fire(kStartLink, ui::Event::Released);
    network.release();
    ASSERT_TRUE(toolkit.runUntil([] { return !ping::pingRunning(); }));

    EXPECT_EQ(network.calls().size(), 80u);
    EXPECT_EQ(column(kAddressColumn), expectedAddressColumn()) << "the address form does not grow";
    EXPECT_EQ(column(kResultColumn), expectedResultColumn());
    EXPECT_FALSE(window->disabled(kStartLink));
}

TEST_F(PingWindowTest, TheTimeOutIsReadAnewForEveryRow) {
    network.onEcho([this](int index) {
        if (index == 4)
            window->noteUserText(kTimeoutBox, "300");
    });
    sweep();

    const auto calls = network.calls();
    ASSERT_EQ(calls.size(), 40u);
    for (std::size_t row = 0; row < calls.size(); ++row)
        EXPECT_EQ(calls[row].timeoutMs, row <= 4 ? 1200 : 300) << "row " << row;
}

struct TimeOutCase {
    const char* name;
    const char* text;
    int timeoutMs;
};

void PrintTo(const TimeOutCase& value, std::ostream* out) {
    *out << '"' << value.text << "\" -> " << value.timeoutMs << " ms";
}

class PingTimeOutTextTest : public PingWindowTest, public ::testing::WithParamInterface<TimeOutCase> {};

TEST_P(PingTimeOutTextTest, PingsWithTheBoxsLeadingNumber) {
    window->noteUserText(kTimeoutBox, GetParam().text);
    sweep();
    const auto calls = network.calls();
    ASSERT_EQ(calls.size(), 40u);
    for (const auto& call : calls)
        EXPECT_EQ(call.timeoutMs, GetParam().timeoutMs);
}

INSTANTIATE_TEST_SUITE_P(Texts, PingTimeOutTextTest,
                         ::testing::Values(TimeOutCase{"Empty", "", 0}, TimeOutCase{"Number", "250", 250},
                                           TimeOutCase{"NotANumber", "abc", 0},
                                           TimeOutCase{"NumberThenText", "75ms", 75}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PingWindowTest, TheCloseIsRefusedWhileASweepRunsAndAllowedAfter) {
    network.holdAt(3);
    window->fire(kStartLink, ui::Event::Released);
    ASSERT_TRUE(network.waitUntilHeld());

    EXPECT_FALSE(window->requestClose());
    EXPECT_FALSE(window->closed());
    EXPECT_FALSE(mainWindow->visible());
    ASSERT_EQ(toolkit.messageBoxCount(), 1u);
    const ui::MessageBoxRequest box = toolkit.messageBoxes().front();
    EXPECT_EQ(box.text, "请等待测试完成");
    EXPECT_EQ(box.style, ui::kMbOk);
    EXPECT_EQ(box.title, "");
    EXPECT_EQ(box.owner, "PingWindow");

    network.release();
    ASSERT_TRUE(toolkit.runUntil([] { return !ping::pingRunning(); }));
    EXPECT_EQ(network.calls().size(), 40u) << "the refused close does not cut the sweep short";

    // The user moved the Ping window; the main window comes back at its place.
    window->noteUserPosition(321, 123);
    EXPECT_TRUE(window->requestClose());
    EXPECT_EQ(toolkit.messageBoxCount(), 1u);
    EXPECT_TRUE(window->closed());
    EXPECT_TRUE(mainWindow->visible());
    EXPECT_EQ(mainWindow->left(), 321);
    EXPECT_EQ(mainWindow->top(), 123);
    EXPECT_EQ(toolkit.shownWindows(), std::vector<std::string>{"MainWindow"});
}

TEST_F(PingWindowTest, AWindowDestroyedDuringASweepEndsItSafely) {
    network.holdAt(2);
    window->fire(kStartLink, ui::Event::Released);
    ASSERT_TRUE(network.waitUntilHeld());

    // Destroyed by the program, not by the user: no guard is asked. The sweep thread still holds the window.
    window->close();
    ASSERT_TRUE(toolkit.runUntil([this] { return window->closed(); }));
    EXPECT_TRUE(mainWindow->visible());
    window.reset();

    network.release();
    ASSERT_TRUE(toolkit.runUntil([] { return !ping::pingRunning(); }));
    EXPECT_EQ(network.calls().size(), 3u) << "rows nobody can see are not pinged";

    // The next Ping window sweeps as usual.
    window = ping::openPingWindow();
    sweep();
    EXPECT_EQ(network.calls().size(), 43u);
    EXPECT_EQ(column(kResultColumn), expectedResultColumn());
}

} // namespace
