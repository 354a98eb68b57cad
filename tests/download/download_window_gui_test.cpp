// The download window as a person uses it, under Qt's offscreen platform: links typed into the box, a mirror
// clicked, "链接" and "下载" pressed, the list read off the widgets, and a screenshot for a look.

#include "download/download_window.h"
#include "download/file_download.h"
#include "download/mirror_hosts.h"
#include "platform/qt/qt_toolkit.h"
#include "platform/system.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"
#include "tests/support/loopback_server.h"
#include "tests/support/qt_gui.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"
#include "util/process_values.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <cstdlib>

namespace {

[[maybe_unused]] const bool kQt = (testsupport::installOffscreenQtToolkit(), true);

QString qs(const char* text) {
    return QString::fromUtf8(text);
}

class DownloadWindowGuiTest : public ::testing::Test {
protected:
    DownloadWindowGuiTest()
        : authority_(certificates_.path()),
          server_(authority_.issue(
              "mirrors", std::vector<std::string>(download::kMirrorHosts.begin(), download::kMirrorHosts.end()))) {}

    void SetUp() override {
        server_.server().Get(".*", [](const httplib::Request& request, httplib::Response& response) {
            if (request.path.ends_with("/empty.txt"))
                return; // an empty body
            response.set_content("content of " + request.path, "application/octet-stream");
        });
        server_.start();
        std::string connectTo;
        for (const auto host : download::kMirrorHosts)
            connectTo +=
                (connectTo.empty() ? "" : ",") + testsupport::connectToEntry(std::string(host), 443, server_.port());
        setenv("CORVANA_CONNECT_TO", connectTo.c_str(), 1);
        setenv("CORVANA_CA_BUNDLE", authority_.authority().certificateFile.c_str(), 1);

        window_ = download::openDownloadWindow();
        ASSERT_TRUE(testsupport::waitForGui([] { return testsupport::shownTopLevel("DownloadWindow") != nullptr; }));
        shown_ = testsupport::shownTopLevel("DownloadWindow");
        ASSERT_NE(shown_, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(shown_));
    }

    void TearDown() override {
        qtui::setDialogAnswerer({});
        window_->close();
        EXPECT_TRUE(testsupport::waitForGui([&] { return window_->closed(); }));
        // This program's own settings file, beside it: closing the window wrote the save folder there.
        platform::deleteFile(util::settingsFilePath());
    }

    template <typename T> T* widget(const char* name) const {
        T* found = shown_->findChild<T*>(qs(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    void typeLinks(const char* text) {
        auto* box = widget<QPlainTextEdit>("编辑框1");
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        const QStringList lines = qs(text).split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(box, Qt::Key_Return);
            QTest::keyClicks(box, lines[i]);
        }
    }

    /// The texts of the download list as the widget shows them, row by row.
    std::vector<std::vector<std::string>> listed() const {
        std::vector<std::vector<std::string>> rows;
        auto* list = widget<QTreeWidget>("超级列表框1_DD");
        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            std::vector<std::string> cells;
            for (int column = 0; column < 3; ++column)
                cells.push_back(list->topLevelItem(row)->text(column).toStdString());
            rows.push_back(cells);
        }
        return rows;
    }

    bool rowsEnded(std::size_t count) const {
        const auto rows = listed();
        if (rows.size() != count)
            return false;
        for (const auto& row : rows) {
            if (row[2] == download::kStatusRunning || row[2].empty())
                return false;
        }
        return true;
    }

    testsupport::TempDir certificates_;
    testsupport::TestCertificateAuthority authority_;
    testsupport::LoopbackServer server_;
    testsupport::TempDir save_;
    std::shared_ptr<ui::Window> window_;
    QWidget* shown_ = nullptr;
};

TEST_F(DownloadWindowGuiTest, CopiesMirrorLinksAndDownloadsIntoTheList) {
    EXPECT_EQ(shown_->windowTitle(), qs("Github 加速下载 (仅提供基础下载，可以复制链接到其他软件)"));
    EXPECT_TRUE(widget<QRadioButton>("单选框1")->isChecked());
    EXPECT_EQ(widget<QRadioButton>("单选框4")->text(), qs("github.moeyy.xyz"));

    typeLinks("https://github.com/o/r/releases/download/v1/a.zip\n\n\nhttps://github.com/o/r/\n\n"
              "https://github.com/o/r/raw/main/empty.txt");
    QTest::mouseClick(widget<QRadioButton>("单选框4"), Qt::LeftButton);
    ASSERT_TRUE(window_->checked("单选框4"));

    qtui::DialogView message;
    qtui::setDialogAnswerer([&](const qtui::DialogView& view) {
        message = view;
        return qtui::DialogAnswer{ui::kAnswerOk, {}};
    });
    QTest::mousePress(widget<QLabel>("超级链接框4"), Qt::LeftButton);
    QTest::mouseRelease(widget<QLabel>("超级链接框4"), Qt::LeftButton);
    ASSERT_TRUE(testsupport::waitForGui([&] { return !message.text.empty(); }));
    const std::string links = "https://github.moeyy.xyz/https://github.com/o/r/releases/download/v1/a.zip\n"
                              "https://github.moeyy.xyz/https://github.com/o/r/\n"
                              "https://github.moeyy.xyz/https://github.com/o/r/raw/main/empty.txt";
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), links);
    EXPECT_EQ(message.text, "已将下列链接复制到剪贴板\n" + links);
    EXPECT_EQ(message.title, "信息");
    EXPECT_EQ(message.icon, "information");
    EXPECT_EQ(message.owner, "DownloadWindow");

    auto* folder = widget<QLineEdit>("编辑框2");
    folder->setFocus();
    folder->selectAll();
    QTest::keyClicks(folder, QString::fromStdString(save_.path()));
    ASSERT_EQ(window_->text(download::kSaveFolderBox), save_.path());

    QTest::mousePress(widget<QLabel>("超级链接框2"), Qt::LeftButton);
    QTest::mouseRelease(widget<QLabel>("超级链接框2"), Qt::LeftButton);
    ASSERT_TRUE(testsupport::waitForGui([&] { return rowsEnded(3); })) << "rows: " << listed().size();
    const auto rows = listed();
    EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "https://github.com/o/r/releases/download/v1/a.zip",
                                                 download::kStatusCompleted}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"2", "https://github.com/o/r/", download::kStatusCannotSave}));
    EXPECT_EQ(rows[2],
              (std::vector<std::string>{"3", "https://github.com/o/r/raw/main/empty.txt", download::kStatusFailed}));
    EXPECT_EQ(testsupport::readFile(save_.file("a.zip")),
              "content of /https://github.com/o/r/releases/download/v1/a.zip");
    EXPECT_EQ(testsupport::listFolder(save_.path()), "a.zip");

    typeLinks("https://github.com/o/r/archive/v2.tar.gz");
    QTest::mousePress(widget<QLabel>("超级链接框2"), Qt::LeftButton);
    QTest::mouseRelease(widget<QLabel>("超级链接框2"), Qt::LeftButton);
    ASSERT_TRUE(testsupport::waitForGui([&] { return rowsEnded(4); }));
    EXPECT_EQ(listed()[3],
              (std::vector<std::string>{"4", "https://github.com/o/r/archive/v2.tar.gz", download::kStatusCompleted}));

    const std::string picture = testsupport::screenshotFolder() + "download_window.png";
    EXPECT_TRUE(qtui::saveScreenshot("DownloadWindow", picture)) << picture;
}

} // namespace
