#include "download/download_window.h"
#include "download/file_download.h"
#include "download/mirror_hosts.h"
#include "download/mirror_links.h"
#include "platform/system.h"
#include "platform/ui/window.h"
#include "tests/support/loopback_server.h"
#include "tests/support/scripted_toolkit.h"
#include "tests/support/socket_helpers.h"
#include "tests/support/temp_dir.h"
#include "util/process_values.h"

#include <gtest/gtest.h>

namespace {

using download::kDownloadList;
using download::kLinkInputBox;
using download::kSaveFolderBox;

class DownloadWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Downloads started here reach only a loopback server that hangs up at once, so every one fails fast.
        std::string connectTo;
        for (const auto host : download::kMirrorHosts)
            connectTo +=
                (connectTo.empty() ? "" : ",") + testsupport::connectToEntry(std::string(host), 443, hangUp_.port());
        connectTo_.emplace("CORVANA_CONNECT_TO", connectTo);
        toolkit_ = &testsupport::installScriptedToolkit();
        window_ = download::openDownloadWindow();
    }

    void selectMirror(int mirror) { window_->setChecked(download::mirrorRadioName(mirror), true); }

    testsupport::ConnectionServer hangUp_{[](int, const std::atomic<bool>&) {}};
    std::optional<testsupport::ScopedEnvironment> connectTo_;
    testsupport::ScriptedToolkit* toolkit_ = nullptr;
    std::shared_ptr<ui::Window> window_;
};

TEST_F(DownloadWindowTest, OpensWithItsLayoutAndMirrorOneSelected) {
    EXPECT_EQ(window_->name(), "DownloadWindow");
    EXPECT_EQ(window_->text({}), "Github 加速下载 (仅提供基础下载，可以复制链接到其他软件)");
    EXPECT_EQ(window_->spec().width, 485);
    EXPECT_EQ(window_->spec().height, 384);
    EXPECT_TRUE(window_->checked("单选框1"));
    for (int mirror = 2; mirror <= 5; ++mirror)
        EXPECT_FALSE(window_->checked(download::mirrorRadioName(mirror)));
    EXPECT_EQ(window_->text("单选框4"), "github.moeyy.xyz");
    EXPECT_EQ(window_->rowCount(kDownloadList), 0);
    const ui::ControlSpec* list = ui::findControl(window_->spec(), kDownloadList);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->parent, "分组框2");
    ASSERT_EQ(list->columns.size(), 3u);
    EXPECT_EQ(list->columns[1].heading, "下载链接");
    EXPECT_EQ(toolkit_->shownWindows(), std::vector<std::string>{"DownloadWindow"});
}

TEST_F(DownloadWindowTest, PasteReplacesTheInputUnlessTheClipboardIsEmpty) {
    window_->setText(kLinkInputBox, "old");
    toolkit_->setClipboardText("");
    window_->fire(download::kPasteLink, ui::Event::Released);
    EXPECT_EQ(window_->text(kLinkInputBox), "old");

    toolkit_->setClipboardText("https://github.com/a\nhttps://github.com/b\r\nc");
    window_->fire(download::kPasteLink, ui::Event::Released);
    EXPECT_EQ(window_->text(kLinkInputBox), "https://github.com/a\r\nhttps://github.com/b\r\nc");
}

TEST_F(DownloadWindowTest, LinksGoToTheClipboardAndIntoAMessage) {
    window_->setText(kLinkInputBox, "https://github.com/a\r\n\r\nhttps://github.com/b\r\n\r\nhttps://github.com/c");
    selectMirror(4);
    window_->fire(download::kCopyLinksLink, ui::Event::Pressed);
    const std::string links = "https://github.moeyy.xyz/https://github.com/a\r\n"
                              "https://github.moeyy.xyz/https://github.com/b\r\n"
                              "https://github.moeyy.xyz/https://github.com/c";
    EXPECT_EQ(toolkit_->clipboardText(), links);
    ASSERT_EQ(toolkit_->messageBoxCount(), 1u);
    const ui::MessageBoxRequest box = toolkit_->messageBoxes()[0];
    EXPECT_EQ(box.text, "已将下列链接复制到剪贴板\r\n" + links);
    EXPECT_EQ(box.style, 64);
    EXPECT_EQ(box.title, "信息");
    EXPECT_EQ(box.owner, "DownloadWindow");

    // Another mirror changes only the prefix.
    selectMirror(2);
    window_->fire(download::kCopyLinksLink, ui::Event::Pressed);
    EXPECT_EQ(toolkit_->clipboardText(), "https://gh-proxy.com/https://github.com/a\r\n"
                                         "https://gh-proxy.com/https://github.com/b\r\n"
                                         "https://gh-proxy.com/https://github.com/c");
}

TEST_F(DownloadWindowTest, BlankInputDoesNothingAndLineBreaksGiveAnEmptyMessage) {
    toolkit_->setClipboardText("before");
    window_->setText(kLinkInputBox, " \xE3\x80\x80 ");
    window_->fire(download::kCopyLinksLink, ui::Event::Pressed);
    window_->fire(download::kDownloadLink, ui::Event::Pressed);
    EXPECT_EQ(toolkit_->messageBoxCount(), 0u);
    EXPECT_EQ(toolkit_->clipboardText(), "before");
    EXPECT_EQ(window_->rowCount(kDownloadList), 0);

    window_->setText(kLinkInputBox, "\r\n\r\n");
    window_->fire(download::kDownloadLink, ui::Event::Pressed);
    EXPECT_EQ(window_->rowCount(kDownloadList), 0);
    window_->fire(download::kCopyLinksLink, ui::Event::Pressed);
    EXPECT_EQ(toolkit_->clipboardText(), "");
    ASSERT_EQ(toolkit_->messageBoxCount(), 1u);
    EXPECT_EQ(toolkit_->messageBoxes()[0].text, "已将下列链接复制到剪贴板\r\n");
}

TEST_F(DownloadWindowTest, DownloadRowsAreNumberedOnAcrossPresses) {
    window_->setText(kLinkInputBox, "https://github.com/a\r\n\r\nhttps://github.com/b\r\nhttps://github.com/c");
    window_->fire(download::kDownloadLink, ui::Event::Pressed);
    ASSERT_EQ(window_->rowCount(kDownloadList), 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(window_->cellText(kDownloadList, row, 0), std::to_string(row + 1));
        const std::string status = window_->cellText(kDownloadList, row, 2);
        EXPECT_TRUE(status == download::kStatusRunning || status == download::kStatusFailed) << status;
    }
    EXPECT_EQ(window_->cellText(kDownloadList, 1, 1), "https://github.com/b");

    window_->setText(kLinkInputBox, "https://github.com/d\r\nhttps://github.com/e");
    window_->fire(download::kDownloadLink, ui::Event::Pressed);
    ASSERT_EQ(window_->rowCount(kDownloadList), 5);
    EXPECT_EQ(window_->cellText(kDownloadList, 3, 0), "4");
    EXPECT_EQ(window_->cellText(kDownloadList, 4, 0), "5");
    EXPECT_EQ(window_->cellText(kDownloadList, 4, 1), "https://github.com/e");
    EXPECT_TRUE(toolkit_->runUntil([&] {
        for (int row = 0; row < 5; ++row) {
            if (window_->cellText(kDownloadList, row, 2) != download::kStatusFailed)
                return false;
        }
        return true;
    }));
}

TEST_F(DownloadWindowTest, BrowseReplacesTheFolderOnlyWhenOneIsChosen) {
    window_->setText(kSaveFolderBox, "/kept");
    toolkit_->setFolderAnswer("");
    window_->fire(download::kBrowseLink, ui::Event::Released);
    EXPECT_EQ(window_->text(kSaveFolderBox), "/kept");
    toolkit_->setFolderAnswer("/home/u/下载");
    window_->fire(download::kBrowseLink, ui::Event::Released);
    EXPECT_EQ(window_->text(kSaveFolderBox), "/home/u/下载");
    const auto requests = toolkit_->folderRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], std::make_pair(std::string("请选择保存目录"), std::string("DownloadWindow")));
}

// The one test that closes a window: closing writes the settings file beside the test program.
TEST(DownloadWindowSettingsTest, SaveFolderIsKeptAndAnEmptyOneStaysEmpty) {
    auto& toolkit = testsupport::installScriptedToolkit();
    platform::deleteFile(util::settingsFilePath());
    auto main = std::make_shared<ui::Window>(ui::WindowSpec{"MainWindow", "Corvana", 120, 80, 485, 384, {}});
    util::setMainWindow(main);

    auto window = download::openDownloadWindow();
    EXPECT_EQ(window->text(kSaveFolderBox), platform::runDirectory());
    EXPECT_EQ(window->left(), 120);
    EXPECT_EQ(window->top(), 80);
    EXPECT_FALSE(main->visible());

    window->noteUserPosition(300, 200);
    window->setText(kSaveFolderBox, "/somewhere/else");
    ASSERT_TRUE(window->requestClose());
    EXPECT_EQ(main->left(), 300);
    EXPECT_EQ(main->top(), 200);
    EXPECT_TRUE(main->visible());
    EXPECT_EQ(util::readSetting("加速下载保存目录", "s"), "/somewhere/else");

    window = download::openDownloadWindow();
    EXPECT_EQ(window->text(kSaveFolderBox), "/somewhere/else");
    window->setText(kSaveFolderBox, "");
    ASSERT_TRUE(window->requestClose());
    window = download::openDownloadWindow();
    EXPECT_EQ(window->text(kSaveFolderBox), "");
    EXPECT_TRUE(window->requestClose());
    toolkit.pump();
    platform::deleteFile(util::settingsFilePath());
    util::setMainWindow(nullptr);
}

} // namespace
