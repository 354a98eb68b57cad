#include "tests/support/qt_gui.h"

#include "platform/qt/qt_toolkit.h"
#include "platform/ui/toolkit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <thread>

namespace testsupport {
namespace {

class OffscreenQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        ui::setToolkit(qtui::makeQtToolkit(argc_, argv_));
    }
    void TearDown() override {
        qtui::setDialogAnswerer({});
        ui::setToolkit(nullptr);
    }

private:
    int argc_ = 1;
    char name_[16] = "gui_tests";
    char* argv_[2] = {name_, nullptr};
};

} // namespace

void installOffscreenQtToolkit() {
    ::testing::AddGlobalTestEnvironment(new OffscreenQtEnvironment);
}

bool waitForGui(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (predicate())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void settleGui() {
    (void)waitForGui([] { return false; }, std::chrono::milliseconds(50));
}

QWidget* shownTopLevel(const std::string& windowName) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QString::fromStdString(windowName) && !widget->isHidden())
            return widget;
    }
    return nullptr;
}

std::string screenshotFolder() {
    const std::string folder = CORVANA_SCREENSHOT_FOLDER;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder + "/";
}

} // namespace testsupport
