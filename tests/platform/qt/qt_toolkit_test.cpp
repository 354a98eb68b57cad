// The Qt realizer under the offscreen platform: the model's properties on the widgets, the user's actions back in the
// model, dialogs answered through the test seam, the close guard and screenshots.

#include "platform/qt/qt_toolkit.h"
#include "platform/qt/realized_window.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"

#include "tests/support/qt_gui.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTest>
#include <QThread>
#include <QTreeWidget>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>

namespace {

using ui::ControlKind;
using ui::Event;

[[maybe_unused]] const bool kQt = (testsupport::installOffscreenQtToolkit(), true);

ui::ControlSpec control(ControlKind kind, std::string name, int left, int top, int width, int height,
                        std::string text = {}, std::string parent = {}) {
    return ui::makeControl(kind, std::move(name), std::move(parent), left, top, width, height, std::move(text));
}

// One control of every kind, laid out like the program's windows.
ui::WindowSpec guiLayout() {
    ui::WindowSpec spec;
    spec.name = "GuiWindow";
    spec.title = "测试窗口 Corvana";
    auto logo = control(ControlKind::PictureBox, "logo", 25, 16, 71, 64);
    logo.picture = "logo.png";
    spec.controls.push_back(logo);
    auto start = control(ControlKind::Hyperlink, "start", 128, 24, 80, 24, "开始加速");
    start.font = {14, true};
    spec.controls.push_back(start);
    auto clear = control(ControlKind::Hyperlink, "clear", 224, 24, 80, 24, "清除加速");
    clear.font = {14, true};
    spec.controls.push_back(clear);
    auto busy = control(ControlKind::PictureBox, "busy", 400, 10, 64, 48);
    busy.picture = "busy.gif";
    spec.controls.push_back(busy);
    spec.controls.push_back(control(ControlKind::ProgressBar, "bar", 128, 59, 336, 8));
    spec.controls.push_back(control(ControlKind::PictureBox, "rule", 15, 88, 448, 2));
    auto log = control(ControlKind::EditBox, "log", 15, 97, 448, 80, "你好，欢迎使用Corvana！\r\n----------");
    log.multiline = log.readOnly = log.horizontalScroll = log.verticalScroll = true;
    spec.controls.push_back(log);
    auto list = control(ControlKind::ReportList, "list", 15, 182, 220, 80);
    list.columns = {{"地址", 150}, {"测试结果", 60}};
    spec.controls.push_back(list);
    auto input = control(ControlKind::EditBox, "input", 245, 182, 218, 80);
    input.multiline = input.horizontalScroll = input.verticalScroll = true;
    spec.controls.push_back(input);
    spec.controls.push_back(control(ControlKind::GroupBox, "group", 16, 266, 448, 56, "服务器地址源设置"));
    auto first = control(ControlKind::RadioButton, "radio1", 20, 22, 72, 16, "自动判断", "group");
    first.checked = true;
    spec.controls.push_back(first);
    spec.controls.push_back(control(ControlKind::RadioButton, "radio2", 100, 22, 72, 16, "直接转换", "group"));
    spec.controls.push_back(
        control(ControlKind::CheckBox, "check", 180, 18, 184, 24, "加速 Githubusercontent", "group"));
    spec.controls.push_back(control(ControlKind::Label, "label", 16, 321, 56, 32, "超时时间："));
    auto timeout = control(ControlKind::EditBox, "timeout", 80, 327, 56, 21, "1200");
    timeout.centered = timeout.integerOnly = true;
    spec.controls.push_back(timeout);
    spec.controls.push_back(control(ControlKind::Label, "ms", 144, 321, 32, 32, "ms"));
    return spec;
}

bool waitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return testsupport::waitForGui(predicate, timeout);
}

void settle() {
    testsupport::settleGui();
}

QWidget* topLevel(const std::string& name) {
    return testsupport::shownTopLevel(name);
}

class QtToolkitTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = ui::loadWindow(guiLayout(), {});
        // The window is shown once the UI loop runs again after its created handler.
        ASSERT_TRUE(waitFor([&] { return (shown = topLevel("GuiWindow")) != nullptr; }));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(shown));
    }

    void TearDown() override {
        qtui::setDialogAnswerer({});
        window->close();
        EXPECT_TRUE(waitFor([&] { return window->closed() && topLevel("GuiWindow") == nullptr; }));
    }

    template <typename T> T* widget(const char* name) const {
        T* found = shown->findChild<T*>(QString::fromUtf8(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    std::shared_ptr<ui::Window> window;
    QWidget* shown = nullptr;
};

TEST_F(QtToolkitTest, BuildsTheWidgetsFromTheLayout) {
    EXPECT_EQ(shown->windowTitle(), QString::fromUtf8("测试窗口 Corvana"));
    EXPECT_EQ(shown->frameGeometry().size(), QSize(485, 384)) << "the outer size includes the frame";
    EXPECT_EQ(shown->pos(), QPoint(50, 50));

    auto* start = widget<QLabel>("start");
    EXPECT_EQ(start->geometry(), QRect(128, 24, 80, 24));
    EXPECT_EQ(start->text(), QString::fromUtf8("开始加速"));
    EXPECT_EQ(start->font().pixelSize(), 14);
    EXPECT_TRUE(start->font().bold());
    EXPECT_EQ(start->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(QFontInfo(start->font()).family(), QStringLiteral("WenQuanYi Micro Hei"));
    EXPECT_EQ(widget<QLabel>("label")->font().pixelSize(), 12);

    auto* radio = widget<QRadioButton>("radio1");
    EXPECT_EQ(radio->parentWidget(), widget<QGroupBox>("group"));
    EXPECT_EQ(radio->geometry(), QRect(20, 22, 72, 16));
    EXPECT_TRUE(radio->isChecked());
    EXPECT_EQ(widget<QGroupBox>("group")->title(), QString::fromUtf8("服务器地址源设置"));

    auto* log = widget<QPlainTextEdit>("log");
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_EQ(log->toPlainText(), QString::fromUtf8("你好，欢迎使用Corvana！\n----------"));
    auto* timeout = widget<QLineEdit>("timeout");
    EXPECT_EQ(timeout->text(), QStringLiteral("1200"));
    EXPECT_TRUE(timeout->alignment() & Qt::AlignHCenter);

    auto* list = widget<QTreeWidget>("list");
    EXPECT_EQ(list->headerItem()->text(1), QString::fromUtf8("测试结果"));
    EXPECT_EQ(list->columnWidth(0), 150);
    EXPECT_EQ(list->topLevelItemCount(), 0);

    auto* logo = widget<qtui::PictureBox>("logo");
    EXPECT_EQ(logo->shown().size(), QSize(64, 64)) << "128 × 128 scaled into 71 × 64 keeping its aspect";
    auto* busy = widget<qtui::PictureBox>("busy");
    EXPECT_TRUE(busy->animating());
    EXPECT_EQ(busy->shown().size(), QSize(48, 48));
    EXPECT_TRUE(widget<qtui::PictureBox>("rule")->shown().isNull());
}

TEST_F(QtToolkitTest, MirrorsChangesFromAWorkerInOrder) {
    std::thread worker([&] {
        window->setText("start", "加速中...");
        window->appendText("log", "Start");
        window->appendText("log", "Initialization...");
        window->setChecked("radio2", true);
        for (int row = 0; row < 3; ++row) {
            const int index = window->insertRow("list");
            window->setCellText("list", index, 0, "github.com");
        }
        window->setCellText("list", 2, 1, "43ms");
        window->setProgress("bar", 40);
        window->setDisabled("clear", true);
        window->setVisible("ms", false);
        window->setTooltip("check", "第一行\r\n第二行");
        window->setPicture("logo", "busy.gif");
        window->setPicture("busy", "");
        window->setLeft({}, 120);
        window->setTop({}, 80);
        window->setText({}, "新标题");
        window->setText("input", "a\r\nb");
    });
    worker.join();
    auto* list = widget<QTreeWidget>("list");
    ASSERT_TRUE(waitFor([&] { return shown->windowTitle() == QString::fromUtf8("新标题"); }));

    EXPECT_EQ(widget<QLabel>("start")->text(), QString::fromUtf8("加速中..."));
    EXPECT_EQ(widget<QPlainTextEdit>("log")->toPlainText(),
              QString::fromUtf8("你好，欢迎使用Corvana！\n----------\nStart\nInitialization..."));
    EXPECT_FALSE(widget<QRadioButton>("radio1")->isChecked());
    EXPECT_TRUE(widget<QRadioButton>("radio2")->isChecked());
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(2)->text(0), QStringLiteral("github.com"));
    EXPECT_EQ(list->topLevelItem(2)->text(1), QStringLiteral("43ms"));
    EXPECT_EQ(list->topLevelItem(0)->text(1), QString());
    EXPECT_EQ(widget<QProgressBar>("bar")->value(), 40);
    EXPECT_FALSE(widget<QLabel>("clear")->isEnabled());
    EXPECT_FALSE(widget<QLabel>("ms")->isVisible());
    EXPECT_EQ(widget<QCheckBox>("check")->toolTip(), QString::fromUtf8("第一行\n第二行"));
    EXPECT_TRUE(widget<qtui::PictureBox>("logo")->animating());
    EXPECT_TRUE(widget<qtui::PictureBox>("busy")->shown().isNull());
    EXPECT_EQ(shown->pos(), QPoint(120, 80));
    EXPECT_EQ(widget<QPlainTextEdit>("input")->toPlainText(), QStringLiteral("a\nb"));
    EXPECT_EQ(window->text("input"), "a\r\nb") << "mirroring a change is no user edit";

    // The window itself: hidden while a secondary window stands in for it, shown again afterwards.
    window->setVisible({}, false);
    ASSERT_TRUE(waitFor([&] { return shown->isHidden(); }));
    EXPECT_FALSE(widget<qtui::PictureBox>("logo")->animating()) << "paused while nobody sees it";
    window->setLeft({}, 60);
    window->setVisible({}, true);
    ASSERT_TRUE(waitFor([&] { return shown->isVisible(); }));
    EXPECT_EQ(shown->pos(), QPoint(60, 80));
    EXPECT_TRUE(widget<qtui::PictureBox>("logo")->animating());

    // The model may leave the group with none checked, which Qt's own radio buttons do not allow.
    window->setChecked("radio2", false);
    window->deleteAllRows("list");
    ASSERT_TRUE(waitFor([&] { return list->topLevelItemCount() == 0; }));
    EXPECT_FALSE(widget<QRadioButton>("radio1")->isChecked());
    EXPECT_FALSE(widget<QRadioButton>("radio2")->isChecked());
}

TEST_F(QtToolkitTest, FeedsUserActionsBackIntoTheModel) {
    std::vector<std::string> events;
    const auto uiThread = std::this_thread::get_id();
    auto record = [&](std::string what) {
        return [&events, uiThread, what] {
            EXPECT_EQ(std::this_thread::get_id(), uiThread);
            events.push_back(what);
        };
    };
    window->on("start", Event::Pressed, record("start pressed"));
    window->on("start", Event::Released, record("start released"));
    window->on("clear", Event::Released, record("clear released"));
    window->on("radio2", Event::Clicked, record("radio2 clicked"));
    window->on("check", Event::Clicked, record("check clicked"));

    QTest::mouseClick(widget<QLabel>("start"), Qt::LeftButton);
    QTest::mouseClick(widget<QRadioButton>("radio2"), Qt::LeftButton);
    QTest::mouseClick(widget<QRadioButton>("radio2"), Qt::LeftButton);
    QTest::mouseClick(widget<QCheckBox>("check"), Qt::LeftButton);
    window->setDisabled("clear", true);
    settle();
    QTest::mouseClick(widget<QLabel>("clear"), Qt::LeftButton);
    settle();

    EXPECT_EQ(events, (std::vector<std::string>{"start pressed", "start released", "radio2 clicked", "radio2 clicked",
                                                "check clicked"}))
        << "a disabled link is inert; clicking a checked radio button still reports the click";
    EXPECT_TRUE(window->checked("radio2"));
    EXPECT_FALSE(window->checked("radio1"));
    EXPECT_TRUE(window->checked("check"));

    auto* timeout = widget<QLineEdit>("timeout");
    timeout->selectAll();
    QTest::keyClicks(timeout, "5a-7");
    EXPECT_EQ(timeout->text(), QStringLiteral("57")) << "integer text only";
    EXPECT_EQ(window->text("timeout"), "57");

    auto* input = widget<QPlainTextEdit>("input");
    QTest::keyClicks(input, "https://github.com/a");
    QTest::keyClick(input, Qt::Key_Return);
    QTest::keyClicks(input, "b");
    EXPECT_EQ(window->text("input"), "https://github.com/a\r\nb");

    shown->move(200, 150);
    ASSERT_TRUE(waitFor([&] { return window->left() == 200; }));
    EXPECT_EQ(window->top(), 150);
}

TEST_F(QtToolkitTest, MessageBoxesFromWorkersAreShownOnTheGuiThreadAndAnswered) {
    std::vector<qtui::DialogView> seen;
    std::vector<bool> onGui;
    QWidget* activeParent = nullptr;
    QStringList buttonTexts;
    qtui::setDialogAnswerer([&](const qtui::DialogView& view) {
        seen.push_back(view);
        onGui.push_back(QThread::currentThread() == qApp->thread());
        if (QWidget* box = QApplication::activeModalWidget()) {
            activeParent = box->parentWidget();
            for (const QAbstractButton* button : box->findChildren<QAbstractButton*>())
                buttonTexts << button->text();
        }
        return qtui::DialogAnswer{view.buttons.front(), {}};
    });

    auto fromWorker =
        std::async(std::launch::async, [] { return ui::messageBox("使用代理？\r\n第二行", 68, "", "GuiWindow"); });
    ASSERT_TRUE(waitFor([&] { return fromWorker.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(fromWorker.get(), ui::kAnswerYes);

    EXPECT_EQ(ui::messageBox("失败 <b>x</b>", 16, "错误", {}), ui::kAnswerOk) << "on the GUI thread itself";

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, "使用代理？\n第二行");
    EXPECT_EQ(seen[0].title, "");
    EXPECT_EQ(seen[0].icon, "information");
    EXPECT_EQ(seen[0].buttons, (std::vector<int>{ui::kAnswerYes, ui::kAnswerNo}));
    EXPECT_EQ(seen[0].owner, "GuiWindow");
    EXPECT_TRUE(seen[0].applicationModal);
    EXPECT_EQ(seen[1].icon, "critical");
    EXPECT_EQ(seen[1].text, "失败 <b>x</b>");
    EXPECT_EQ(seen[1].buttons, std::vector<int>{ui::kAnswerOk});
    EXPECT_EQ(seen[1].owner, "");
    EXPECT_EQ(onGui, (std::vector<bool>{true, true}));
    EXPECT_EQ(activeParent, nullptr) << "the last box had no owner";
    EXPECT_TRUE(buttonTexts.contains(QString::fromUtf8("是(&Y)")));
    EXPECT_TRUE(buttonTexts.contains(QString::fromUtf8("确定")));

    qtui::setDialogAnswerer([](const qtui::DialogView&) { return qtui::DialogAnswer{ui::kAnswerNo, {}}; });
    auto refused = std::async(std::launch::async, [] { return ui::messageBox("?", 68, "", "GuiWindow"); });
    ASSERT_TRUE(waitFor([&] { return refused.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(refused.get(), ui::kAnswerNo);
}

TEST_F(QtToolkitTest, FolderDialogAndClipboard) {
    std::string owner;
    qtui::setDialogAnswerer([&](const qtui::DialogView& view) {
        owner = view.owner;
        EXPECT_TRUE(view.folder);
        return qtui::DialogAnswer{ui::kAnswerOk, view.title == "选择" ? "/tmp/下载" : ""};
    });
    auto picked = std::async(std::launch::async, [] { return ui::toolkit().pickFolder("选择", "GuiWindow"); });
    ASSERT_TRUE(waitFor([&] { return picked.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(picked.get(), "/tmp/下载");
    EXPECT_EQ(owner, "GuiWindow");
    EXPECT_EQ(ui::toolkit().pickFolder("取消", {}), "");

    auto& toolkit = ui::toolkit();
    toolkit.setClipboardText("https://a\r\nhttps://b");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("https://a\nhttps://b")) << "LF for other programs";
    QGuiApplication::clipboard()->setText(QStringLiteral("x\ny\r\nz"));
    auto fromWorker = std::async(std::launch::async, [&] { return toolkit.clipboardText(); });
    ASSERT_TRUE(waitFor([&] { return fromWorker.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(fromWorker.get(), "x\r\ny\r\nz") << "CR LF inside the program";
}

TEST_F(QtToolkitTest, TheCloseGuardDecidesAUserClose) {
    bool allow = false;
    int asked = 0;
    std::thread::id destroyedOn;
    window->setCloseGuard([&] {
        ++asked;
        return allow;
    });
    window->on({}, Event::WillBeDestroyed, [&] { destroyedOn = std::this_thread::get_id(); });

    shown->close();
    ASSERT_TRUE(waitFor([&] { return asked == 1; }));
    settle();
    EXPECT_FALSE(window->closed());
    EXPECT_TRUE(shown->isVisible());

    allow = true;
    shown->close();
    ASSERT_TRUE(waitFor([&] { return window->closed() && topLevel("GuiWindow") == nullptr; }));
    EXPECT_EQ(destroyedOn, std::this_thread::get_id());

    // Writes after the end are kept in the store and reach no widget.
    window->appendText("log", "late");
    window->setText({}, "late");
    settle();
    EXPECT_EQ(window->text({}), "late");
}

TEST_F(QtToolkitTest, CloseFromAWorkerDestroysTheWidgets) {
    std::thread::id destroyedOn;
    bool after = false;
    window->on({}, Event::WillBeDestroyed, [&] { destroyedOn = std::this_thread::get_id(); });
    window->setAfterDestroy([&] { after = true; });
    std::thread([&] { window->close(); }).join();
    ASSERT_TRUE(waitFor([&] { return after && topLevel("GuiWindow") == nullptr; }));
    EXPECT_EQ(destroyedOn, std::this_thread::get_id());
    EXPECT_FALSE(qtui::saveScreenshot("GuiWindow", testing::TempDir() + "gone.png"));
}

TEST_F(QtToolkitTest, SavesAScreenshot) {
    window->appendText("log", "Complete");
    window->setProgress("bar", 100);
    for (const char* host : {"140.82.112.3 - github.com", " - api.github.com"}) {
        const int row = window->insertRow("list");
        window->setCellText("list", row, 0, host);
        window->setCellText("list", row, 1, row == 0 ? "43ms" : "Timeout");
    }
    settle();
    const std::string path = testing::TempDir() + "corvana_gui_window.png";
    std::filesystem::remove(path);
    ASSERT_TRUE(qtui::saveScreenshot("GuiWindow", path));
    const QImage picture(QString::fromStdString(path));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), shown->size()) << "the client area";
    // The logo's box is not plain background.
    const QRgb corner = picture.pixel(2, 2);
    bool drawn = false;
    for (int x = 25; x < 96 && !drawn; ++x)
        drawn = picture.pixel(x, 48) != corner;
    EXPECT_TRUE(drawn);
    EXPECT_FALSE(qtui::saveScreenshot("NoSuchWindow", path));
    std::printf("screenshot: %s\n", path.c_str());
}

} // namespace
