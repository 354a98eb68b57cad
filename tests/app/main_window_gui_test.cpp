// The main and About windows through the real Qt realizer, offscreen: every control where the layout puts it, the
// hand-over of position and visibility, and the settings kept from one start to the next.

#include "app/about_window.h"
#include "app/main_window.h"
#include "app/main_window_layout.h"
#include "platform/qt/qt_toolkit.h"
#include "platform/ui/window.h"
#include "tests/support/program_run.h"
#include "tests/support/qt_gui.h"
#include "util/process_values.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QWidget>

#include <cstdio>

namespace {

using testsupport::settleGui;
using testsupport::shownTopLevel;
using testsupport::waitForGui;

[[maybe_unused]] const bool kQt = (testsupport::installOffscreenQtToolkit(), true);

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// The text a widget shows; the model's CR LF is LF on the widgets.
QString shownText(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget))
        return group->title();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(widget))
        return edit->toPlainText();
    return {};
}

class MainWindowGui : public ::testing::Test {
protected:
    void SetUp() override {
        std::remove(util::settingsFilePath().c_str());
        main = load();
    }

    void TearDown() override {
        if (!main->closed())
            main->close();
        waitForGui([&] { return main->closed(); });
        util::setMainWindow(nullptr);
        std::remove(util::settingsFilePath().c_str());
    }

    // Loads the main window as the program does, but its destruction must not end the test.
    static std::shared_ptr<ui::Window> load() {
        auto window = app::loadMainWindow();
        window->setAfterDestroy([] {});
        EXPECT_TRUE(waitForGui([] { return shownTopLevel(app::kMainWindowName) != nullptr; }));
        settleGui();
        return window;
    }

    QWidget* widget(const std::string& window, const std::string& control) const {
        QWidget* top = shownTopLevel(window);
        return top == nullptr ? nullptr : top->findChild<QWidget*>(qs(control));
    }

    std::shared_ptr<ui::Window> main;
};

TEST_F(MainWindowGui, ShowsEveryControlWhereTheLayoutPutsIt) {
    QWidget* top = shownTopLevel(app::kMainWindowName);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->windowTitle(), "Corvana");
    EXPECT_EQ(top->frameGeometry().size(), QSize(485, 384));
    EXPECT_EQ(top->pos(), QPoint(50, 50));

    for (const auto& control : app::mainWindowLayout().controls) {
        QWidget* shown = widget(app::kMainWindowName, control.name);
        ASSERT_NE(shown, nullptr) << control.name;
        EXPECT_EQ(shown->geometry(), QRect(control.left, control.top, control.width, control.height)) << control.name;
        const std::string parent = control.parent.empty() ? app::kMainWindowName : control.parent;
        EXPECT_EQ(shown->parentWidget()->objectName(), qs(parent)) << control.name;
        if (control.name == "编辑框1") {
            EXPECT_EQ(shownText(shown), qs(app::welcomeText()).replace("\r\n", "\n"));
        } else if (control.name == "超级链接框2") {
            EXPECT_EQ(shownText(shown), QString("v") + CORVANA_VERSION);
        } else if (control.kind != ui::ControlKind::PictureBox && control.kind != ui::ControlKind::ProgressBar) {
            EXPECT_EQ(shownText(shown), qs(control.text)) << control.name;
        }
    }
    EXPECT_EQ(widget(app::kMainWindowName, "选择框1")->toolTip(), qs(app::rawContentTooltip()).replace("\r\n", "\n"));
    // First start without a settings file: direct conversion, the raw-content box ticked, silent mode not.
    EXPECT_TRUE(main->checked("单选框5"));
    EXPECT_TRUE(main->checked("选择框1"));
    EXPECT_FALSE(main->checked("选择框2"));
    EXPECT_TRUE(qtui::saveScreenshot(app::kMainWindowName, testsupport::screenshotFolder() + "main_window.png"));
}

TEST_F(MainWindowGui, AboutWindowTakesTheMainWindowsPlaceAndGivesItBack) {
    main->setLeft({}, 120);
    main->setTop({}, 80);
    main->fire("超级链接框3", ui::Event::Released);
    ASSERT_TRUE(waitForGui([] { return shownTopLevel(app::kAboutWindowName) != nullptr; }));
    settleGui();
    QWidget* about = shownTopLevel(app::kAboutWindowName);
    EXPECT_EQ(about->windowTitle(), QString::fromUtf8("关于"));
    EXPECT_EQ(about->pos(), QPoint(120, 80));
    EXPECT_EQ(shownTopLevel(app::kMainWindowName), nullptr) << "the main window hides while About is open";
    EXPECT_EQ(shownText(widget(app::kAboutWindowName, "透明标签2")), QString("v") + CORVANA_VERSION);
    EXPECT_EQ(shownText(widget(app::kAboutWindowName, "超级链接框6")), QString::fromUtf8("项目主页"));
    EXPECT_EQ(shownText(widget(app::kAboutWindowName, "超级链接框1")), QString::fromUtf8("发布页"));
    EXPECT_TRUE(qtui::saveScreenshot(app::kAboutWindowName, testsupport::screenshotFolder() + "about_window.png"));

    about->move(300, 200); // the user drags it elsewhere
    settleGui();
    about->close();
    ASSERT_TRUE(waitForGui([] { return shownTopLevel(app::kMainWindowName) != nullptr; }));
    settleGui();
    EXPECT_EQ(shownTopLevel(app::kMainWindowName)->pos(), QPoint(300, 200));
    EXPECT_EQ(main->left(), 300);
    EXPECT_EQ(main->top(), 200);
}

TEST_F(MainWindowGui, ClosingKeepsTheSelectedSourceForTheNextStart) {
    auto* source4 = qobject_cast<QAbstractButton*>(widget(app::kMainWindowName, "单选框4"));
    ASSERT_NE(source4, nullptr);
    source4->click();
    settleGui();
    ASSERT_TRUE(main->checked("单选框4"));
    ASSERT_TRUE(main->requestClose());
    ASSERT_TRUE(waitForGui([&] { return main->closed() && shownTopLevel(app::kMainWindowName) == nullptr; }));

    const std::string settings = testsupport::readFile(util::settingsFilePath());
    EXPECT_NE(settings.find("Data=4"), std::string::npos) << settings;

    main = load();
    EXPECT_TRUE(main->checked("单选框4"));
    EXPECT_FALSE(main->checked("单选框5"));
    EXPECT_TRUE(qobject_cast<QAbstractButton*>(widget(app::kMainWindowName, "单选框4"))->isChecked());
}

} // namespace
