#include "platform/ui/window.h"
#include "tests/support/scripted_toolkit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using ui::Change;
using ui::ControlKind;
using ui::Event;

ui::ControlSpec control(ControlKind kind, std::string name, std::string parent = {}, std::string text = {}) {
    ui::ControlSpec spec;
    spec.kind = kind;
    spec.name = std::move(name);
    spec.parent = std::move(parent);
    spec.text = std::move(text);
    spec.left = 5;
    spec.top = 6;
    return spec;
}

// A window with two radio groups, a check box, a log box, a two-column list and a link.
ui::WindowSpec testLayout() {
    ui::WindowSpec spec;
    spec.name = "TestWindow";
    spec.title = "标题";
    spec.left = 10;
    spec.top = 20;
    spec.controls.push_back(control(ControlKind::GroupBox, "group", {}, "组"));
    auto first = control(ControlKind::RadioButton, "radio1", "group", "一");
    first.checked = true;
    spec.controls.push_back(first);
    spec.controls.push_back(control(ControlKind::RadioButton, "radio2", "group", "二"));
    auto outside = control(ControlKind::RadioButton, "radio3", {}, "三");
    outside.checked = true;
    spec.controls.push_back(outside);
    spec.controls.push_back(control(ControlKind::CheckBox, "check", "group"));
    auto log = control(ControlKind::EditBox, "log", {}, "welcome");
    log.multiline = true;
    spec.controls.push_back(log);
    auto list = control(ControlKind::ReportList, "list");
    list.columns = {{"地址", 381}, {"测试结果", 100}};
    spec.controls.push_back(list);
    spec.controls.push_back(control(ControlKind::Hyperlink, "link", {}, "开始"));
    spec.controls.push_back(control(ControlKind::PictureBox, "picture"));
    return spec;
}

class WindowTest : public ::testing::Test {
protected:
    testsupport::ScriptedToolkit& toolkit = testsupport::installScriptedToolkit();
    std::shared_ptr<ui::Window> window = ui::loadWindow(testLayout(), {});

    std::vector<Change> changes() const { return toolkit.changes("TestWindow"); }
};

TEST_F(WindowTest, StartsFromTheLayout) {
    EXPECT_EQ(window->text({}), "标题");
    EXPECT_EQ(window->left(), 10);
    EXPECT_EQ(window->top(), 20);
    EXPECT_TRUE(window->visible());
    EXPECT_EQ(window->text("log"), "welcome");
    EXPECT_EQ(window->left("link"), 5);
    EXPECT_TRUE(window->checked("radio1"));
    EXPECT_TRUE(window->checked("radio3"));
    EXPECT_EQ(window->text("missing"), "");
    EXPECT_EQ(window->rowCount("list"), 0);
    EXPECT_EQ(toolkit.shownWindows(), std::vector<std::string>{"TestWindow"});
}

TEST_F(WindowTest, RadioButtonsAreExclusiveWithinTheirParentOnly) {
    window->setChecked("radio2", true);
    EXPECT_FALSE(window->checked("radio1"));
    EXPECT_TRUE(window->checked("radio2"));
    EXPECT_TRUE(window->checked("radio3")) << "another parent, another group";

    const auto reported = changes();
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0].control, "radio2");
    EXPECT_EQ(reported[0].value, 1);
    EXPECT_EQ(reported[1].control, "radio1");
    EXPECT_EQ(reported[1].value, 0);

    // The model may leave a group with none checked.
    window->setChecked("radio2", false);
    EXPECT_FALSE(window->checked("radio1"));
    EXPECT_FALSE(window->checked("radio2"));

    // A user's click is already on screen: the store follows, the realizer is not told back.
    const auto before = changes().size();
    window->noteUserChecked("radio2", true);
    window->noteUserChecked("radio1", true);
    EXPECT_TRUE(window->checked("radio1"));
    EXPECT_FALSE(window->checked("radio2"));
    EXPECT_EQ(changes().size(), before);

    // A check box is no radio button.
    window->setChecked("check", true);
    EXPECT_TRUE(window->checked("radio1"));
}

TEST_F(WindowTest, AppendAddsCrLfAndReportsTheLineAlone) {
    window->appendText("log", "Start");
    window->appendText("log", "");
    EXPECT_EQ(window->text("log"), "welcome\r\nStart\r\n");
    const auto reported = changes();
    ASSERT_EQ(reported.size(), 2u);
    EXPECT_EQ(reported[0].kind, Change::Kind::Append);
    EXPECT_EQ(reported[0].text, "Start");
    EXPECT_EQ(reported[1].text, "");
}

TEST_F(WindowTest, ReportsOnlyRealChanges) {
    window->setText("log", "welcome");
    window->setDisabled("link", false);
    window->setLeft({}, 10);
    window->setText("missing", "x");
    EXPECT_TRUE(changes().empty());

    window->setText("link", "加速中...");
    window->setLeft({}, 30);
    window->setMinimized(true);
    window->setProgress("picture", 40);
    const auto reported = changes();
    ASSERT_EQ(reported.size(), 4u);
    EXPECT_EQ(reported[0].kind, Change::Kind::Text);
    EXPECT_EQ(reported[0].text, "加速中...");
    EXPECT_EQ(reported[1].kind, Change::Kind::Left);
    EXPECT_EQ(reported[1].control, "");
    EXPECT_EQ(reported[1].value, 30);
    EXPECT_EQ(reported[2].kind, Change::Kind::Minimized);
    EXPECT_EQ(reported[3].value, 40);

    window->noteUserText("log", "typed");
    window->noteUserPosition(1, 2);
    window->noteUserMinimized(false);
    EXPECT_EQ(changes().size(), 4u);
    EXPECT_EQ(window->text("log"), "typed");
    EXPECT_EQ(window->left(), 1);
    EXPECT_EQ(window->top(), 2);
    EXPECT_FALSE(window->minimized());
}

TEST_F(WindowTest, ListRowsAndCells) {
    EXPECT_EQ(window->insertRow("list"), 0);
    EXPECT_EQ(window->insertRow("list"), 1);
    EXPECT_EQ(window->insertRow("log"), -1) << "not a report list";
    EXPECT_EQ(window->insertRow("missing"), -1);

    window->setCellText("list", 1, 1, "43ms");
    window->setCellText("list", 2, 0, "no such row");
    window->setCellText("list", 0, 2, "no such column");
    window->setCellText("list", -1, 0, "no such row");
    EXPECT_EQ(window->rowCount("list"), 2);
    EXPECT_EQ(window->cellText("list", 1, 1), "43ms");
    EXPECT_EQ(window->cellText("list", 0, 0), "");
    EXPECT_EQ(window->cellText("list", 5, 0), "");
    EXPECT_EQ(window->cellText("list", 0, 7), "");

    const auto reported = changes();
    ASSERT_EQ(reported.size(), 3u);
    EXPECT_EQ(reported[1].kind, Change::Kind::InsertRow);
    EXPECT_EQ(reported[1].row, 1);
    EXPECT_EQ(reported[2].kind, Change::Kind::CellText);
    EXPECT_EQ(reported[2].row, 1);
    EXPECT_EQ(reported[2].column, 1);
    EXPECT_EQ(reported[2].text, "43ms");

    window->deleteAllRows("list");
    EXPECT_EQ(window->rowCount("list"), 0);
    EXPECT_EQ(window->insertRow("list"), 0);
    EXPECT_EQ(window->cellText("list", 0, 1), "") << "a new row starts empty";
}

TEST_F(WindowTest, FireRunsTheRegisteredHandler) {
    int released = 0;
    int pressed = 0;
    window->on("link", Event::Released, [&] { ++released; });
    window->on("link", Event::Pressed, [&] { ++pressed; });
    window->fire("link", Event::Released);
    window->fire("link", Event::Released);
    window->fire("link", Event::Clicked);
    window->fire("missing", Event::Released);
    EXPECT_EQ(released, 2);
    EXPECT_EQ(pressed, 0);

    // A handler may replace handlers and write the window without a deadlock.
    window->on("radio2", Event::Clicked, [&] {
        window->setText("link", "clicked");
        window->on("radio2", Event::Clicked, [] {});
    });
    window->fire("radio2", Event::Clicked);
    EXPECT_EQ(window->text("link"), "clicked");
}

TEST_F(WindowTest, CloseGuardKeepsTheWindowOpen) {
    bool allow = false;
    int guardAsked = 0;
    std::vector<std::string> order;
    window->setCloseGuard([&] {
        ++guardAsked;
        return allow;
    });
    window->on({}, Event::WillBeDestroyed, [&] {
        order.push_back("destroy");
        EXPECT_EQ(toolkit.shownWindows().size(), 1u) << "still shown while its handler runs";
    });
    window->setAfterDestroy([&] {
        order.push_back("after");
        EXPECT_TRUE(window->closed());
        EXPECT_TRUE(toolkit.shownWindows().empty());
    });

    EXPECT_FALSE(window->requestClose());
    EXPECT_FALSE(window->closed());
    EXPECT_TRUE(order.empty());

    allow = true;
    EXPECT_TRUE(window->requestClose());
    EXPECT_EQ(guardAsked, 2);
    EXPECT_EQ(order, (std::vector<std::string>{"destroy", "after"}));

    // Destroyed once only.
    EXPECT_TRUE(window->requestClose());
    window->close();
    toolkit.pump();
    EXPECT_EQ(order.size(), 2u);
}

TEST_F(WindowTest, CloseFromAWorkerDestroysOnTheUiThread) {
    const auto uiThread = std::this_thread::get_id();
    std::atomic<int> destroyed{0};
    std::thread::id destroyedOn;
    window->on({}, Event::WillBeDestroyed, [&] {
        destroyedOn = std::this_thread::get_id();
        ++destroyed;
        // A close asked for again while it is being destroyed changes nothing.
        window->close();
    });
    bool after = false;
    window->setAfterDestroy([&] { after = true; });

    std::thread worker([&] {
        window->close();
        window->close();
    });
    worker.join();
    EXPECT_FALSE(window->closed()) << "nothing happens before the UI thread runs";
    ASSERT_TRUE(toolkit.runUntil([&] { return window->closed(); }));
    toolkit.pump();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(destroyedOn, uiThread);
    EXPECT_TRUE(after);
    EXPECT_TRUE(toolkit.shownWindows().empty());
}

TEST_F(WindowTest, WritesAfterCloseAreKeptButShownNowhere) {
    int clicks = 0;
    window->on("link", Event::Released, [&] { ++clicks; });
    window->close();
    toolkit.pump();
    ASSERT_TRUE(window->closed());
    const auto before = changes().size();

    window->setText("link", "late");
    window->appendText("log", "late line");
    EXPECT_EQ(window->insertRow("list"), 0);
    window->setCellText("list", 0, 0, "x");
    window->fire("link", Event::Released);

    EXPECT_EQ(window->text("link"), "late");
    EXPECT_EQ(window->cellText("list", 0, 0), "x");
    EXPECT_EQ(changes().size(), before);
    EXPECT_EQ(clicks, 0) << "a destroyed window handles no events";
}

TEST_F(WindowTest, ConcurrentWritersReachTheRealizerInOrder) {
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    ASSERT_EQ(window->insertRow("list"), 0);
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i) {
                window->appendText("log", std::to_string(t) + ":" + std::to_string(i));
                window->setCellText("list", 0, t % 2, std::to_string(i));
                (void)window->text("log");
            }
        });
    }
    for (auto& writer : writers)
        writer.join();

    // Replaying what the realizer was told gives exactly the stored text.
    std::string replayed = "welcome";
    int appended = 0;
    for (const Change& change : changes()) {
        if (change.kind == Change::Kind::Append) {
            replayed += "\r\n" + change.text;
            ++appended;
        }
    }
    EXPECT_EQ(appended, kThreads * kLines);
    EXPECT_EQ(replayed, window->text("log"));
    EXPECT_EQ(window->cellText("list", 0, 0), std::to_string(kLines - 1));
}

TEST(LoadWindow, RealizesBeforeTheCreatedHandlerSoItsChangesReachTheRealizer) {
    auto& toolkit = testsupport::installScriptedToolkit();
    std::vector<std::string> order;
    auto window = ui::loadWindow(testLayout(), [&](ui::Window& window) {
        order.push_back("install");
        window.on({}, Event::Created, [&] {
            order.push_back(toolkit.shownWindows().empty() ? "created before realize" : "created after realize");
            window.setVisible({}, false);
            window.setLeft({}, 99);
        });
    });
    EXPECT_EQ(order, (std::vector<std::string>{"install", "created after realize"}));
    EXPECT_EQ(toolkit.window("TestWindow"), window);
    EXPECT_FALSE(window->visible());
    // A line the created handler logs is seen by the realizer (headless prints it).
    const auto changes = toolkit.changes("TestWindow");
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].kind, ui::Change::Kind::Visible);
    EXPECT_EQ(changes[1].kind, ui::Change::Kind::Left);
}

TEST(LoadWindow, TheToolkitKeepsAShownWindowAlive) {
    auto& toolkit = testsupport::installScriptedToolkit();
    bool destroyed = false;
    std::weak_ptr<ui::Window> weak = ui::loadWindow(
        testLayout(), [&](ui::Window& window) { window.on({}, Event::WillBeDestroyed, [&] { destroyed = true; }); });
    auto window = weak.lock();
    ASSERT_TRUE(window);
    window->close();
    window.reset();
    toolkit.pump();
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(weak.expired());
}

TEST(Toolkit, MessageBoxesAreAnsweredFromTheScriptOnAnyThread) {
    auto& toolkit = testsupport::installScriptedToolkit();
    toolkit.queueAnswer(ui::kAnswerYes);
    int fromWorker = -1;
    std::thread worker([&] { fromWorker = ui::messageBox("使用代理？", 68, "", "MainWindow"); });
    worker.join();
    EXPECT_EQ(fromWorker, ui::kAnswerYes);
    EXPECT_EQ(ui::messageBox("q", ui::kMbYesNo + ui::kMbIconInformation, "", {}), ui::kAnswerNo);
    EXPECT_EQ(ui::messageBox("i", ui::kMbIconError, "t", {}), ui::kAnswerOk);
    const auto boxes = toolkit.messageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "使用代理？");
    EXPECT_EQ(boxes[0].style, 68);
    EXPECT_EQ(boxes[0].owner, "MainWindow");
    EXPECT_EQ(boxes[2].title, "t");
}

} // namespace

namespace {

TEST(ScriptedToolkit, ServesWorkersUntilQuitAndScriptsTheFolderDialog) {
    auto& toolkit = testsupport::installScriptedToolkit();
    std::vector<int> ran;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            toolkit.post([&ran, i] { ran.push_back(i); });
        toolkit.post([&] { toolkit.quit(7); });
    });
    EXPECT_EQ(toolkit.run(), 7);
    worker.join();
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
    EXPECT_TRUE(toolkit.quitRequested());

    EXPECT_EQ(toolkit.pickFolder("请选择保存目录", "DownloadWindow"), "");
    toolkit.setFolderAnswer("/srv/下载");
    EXPECT_EQ(toolkit.pickFolder("请选择保存目录", "DownloadWindow"), "/srv/下载");
    ASSERT_EQ(toolkit.folderRequests().size(), 2u);
    EXPECT_EQ(toolkit.folderRequests()[1], (std::pair<std::string, std::string>{"请选择保存目录", "DownloadWindow"}));
}

} // namespace
