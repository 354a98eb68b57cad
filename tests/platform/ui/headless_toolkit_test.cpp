#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

ui::WindowSpec logWindow() {
    ui::WindowSpec spec;
    spec.name = "MainWindow";
    spec.title = "Corvana";
    ui::ControlSpec log;
    log.kind = ui::ControlKind::EditBox;
    log.name = "编辑框1";
    log.multiline = true;
    log.text = "你好";
    spec.controls.push_back(log);
    return spec;
}

class HeadlessToolkitTest : public ::testing::Test {
protected:
    void SetUp() override { ui::setToolkit(ui::makeHeadlessToolkit()); }
    void TearDown() override { ui::setToolkit(nullptr); }
};

TEST_F(HeadlessToolkitTest, PrintsEachAppendedLineAndNothingElse) {
    auto window = ui::loadWindow(logWindow(), {});
    testing::internal::CaptureStdout();
    window->appendText("编辑框1", "Start");
    window->setText("编辑框1", "replaced");
    window->appendText("编辑框1", "Initialization...\r\nSever: x");
    window->appendText("编辑框1", "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Start\nInitialization...\nSever: x\n\n");
}

TEST_F(HeadlessToolkitTest, MessageBoxesGoToStderrWithTheirDefaultAnswer) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(ui::messageBox("你好，亲爱的用户：\r\n\r\n建议", 64, "", "MainWindow"), ui::kAnswerOk);
    EXPECT_EQ(ui::messageBox("使用代理？", 68, "提示", {}), ui::kAnswerNo);
    EXPECT_EQ(ui::messageBox("x", ui::kMbYesNo, "t", {}), ui::kAnswerNo);
    EXPECT_EQ(ui::messageBox("失败", 16, "t", {}), ui::kAnswerOk);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[] 你好，亲爱的用户：\n[] \n[] 建议\n[提示] 使用代理？\n[t] x\n[t] 失败\n");
}

TEST_F(HeadlessToolkitTest, TheLoopRunsPostsInOrderUntilQuit) {
    auto& toolkit = ui::toolkit();
    std::vector<int> ran;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            toolkit.post([&ran, i] { ran.push_back(i); });
        toolkit.post([&] {
            EXPECT_TRUE(toolkit.onUiThread());
            toolkit.quit(3);
        });
    });
    EXPECT_EQ(toolkit.run(), 3);
    worker.join();
    ASSERT_EQ(ran.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(ran[static_cast<std::size_t>(i)], i);
}

TEST_F(HeadlessToolkitTest, CloseEndsThroughTheLoop) {
    auto window =
        ui::loadWindow(logWindow(), [](ui::Window& window) { window.setAfterDestroy([] { ui::toolkit().quit(0); }); });
    std::thread worker([&] { window->close(); });
    EXPECT_EQ(ui::toolkit().run(), 0);
    worker.join();
    EXPECT_TRUE(window->closed());
    testing::internal::CaptureStdout();
    window->appendText("编辑框1", "after");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(HeadlessToolkitTest, ClipboardInMemoryAndNoFolderDialog) {
    auto& toolkit = ui::toolkit();
    EXPECT_EQ(toolkit.clipboardText(), "");
    toolkit.setClipboardText("a\r\nb");
    EXPECT_EQ(toolkit.clipboardText(), "a\r\nb");
    EXPECT_EQ(toolkit.pickFolder("选择", "DownloadWindow"), "");
}

} // namespace
