#include "download/download_window.h"
#include "download/file_download.h"
#include "download/mirror_hosts.h"
#include "download/mirror_links.h"
#include "platform/ui/window.h"
#include "tests/support/loopback_server.h"
#include "tests/support/scripted_toolkit.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

using download::kDownloadList;
using download::kLinkInputBox;
using download::kSaveFolderBox;
using testsupport::listFolder;
using testsupport::readFile;

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

std::string header(const testsupport::RecordedRequest& request, const std::string& name) {
    const auto found = request.headers.find(name);
    return found == request.headers.end() ? std::string() : found->second;
}

// A gate that holds answers back until the test opens it; it opens by itself at the end of the test.
class Gate {
public:
    void open() {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    /// Waits until open; false when the wait ran out.
    bool wait(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

// The program's own mirror URLs reach an HTTPS server on loopback that holds a certificate for every mirror host.
class FileDownloadTest : public ::testing::Test {
protected:
    FileDownloadTest()
        : authority_(certificates_.path()),
          server_(authority_.issue(
              "mirrors", std::vector<std::string>(download::kMirrorHosts.begin(), download::kMirrorHosts.end()))) {}

    void SetUp() override {
        server_.server().Get(
            ".*", [this](const httplib::Request& request, httplib::Response& response) { answer(request, response); });
        server_.start();
        std::string connectTo;
        for (const auto host : download::kMirrorHosts)
            connectTo +=
                (connectTo.empty() ? "" : ",") + testsupport::connectToEntry(std::string(host), 443, server_.port());
        connectTo_.emplace("CORVANA_CONNECT_TO", connectTo);
        caBundle_.emplace("CORVANA_CA_BUNDLE", authority_.authority().certificateFile);
        download::setDownloadTimeoutSeconds(1);

        toolkit_ = &testsupport::installScriptedToolkit();
        window_ = download::openDownloadWindow();
        window_->setText(kSaveFolderBox, save_.path());
        window_->setChecked(download::mirrorRadioName(5), true);
    }

    void TearDown() override {
        stopping_ = true;
        gate_.open();
        server_.stop();
    }

    /// Answers "/https://github.com/<name>" with the body stored for the name.
    virtual void answer(const httplib::Request& request, httplib::Response& response) {
        const std::string prefix = "/https://github.com/";
        const auto found =
            request.path.rfind(prefix, 0) == 0 ? bodies_.find(request.path.substr(prefix.size())) : bodies_.end();
        if (found == bodies_.end()) {
            response.status = 404;
            response.set_content("<html>Not Found</html>", "text/html");
            return;
        }
        response.set_content(found->second, "application/octet-stream");
    }

    /// Puts the links on their lines, presses "下载" and waits until every new row has its final status.
    std::vector<std::string> download(const std::vector<std::string>& links) {
        std::string input;
        for (const std::string& link : links)
            input += link + "\r\n\r\n";
        window_->setText(kLinkInputBox, input);
        const int first = window_->rowCount(kDownloadList);
        window_->fire(download::kDownloadLink, ui::Event::Pressed);
        return waitForStatuses(first, static_cast<int>(links.size()));
    }

    std::vector<std::string> waitForStatuses(int first, int count) {
        std::vector<std::string> statuses;
        const bool ended = toolkit_->runUntil(
            [&] {
                statuses.clear();
                for (int row = first; row < first + count; ++row) {
                    statuses.push_back(window_->cellText(kDownloadList, row, 2));
                    if (statuses.back() == download::kStatusRunning || statuses.back().empty())
                        return false;
                }
                return true;
            },
            std::chrono::seconds(20));
        EXPECT_TRUE(ended) << "downloads still running";
        return statuses;
    }

    testsupport::TempDir certificates_;
    testsupport::TestCertificateAuthority authority_;
    testsupport::LoopbackServer server_;
    testsupport::TempDir save_;
    std::optional<testsupport::ScopedEnvironment> connectTo_;
    std::optional<testsupport::ScopedEnvironment> caBundle_;
    std::map<std::string, std::string> bodies_;
    Gate gate_;
    std::atomic<bool> stopping_{false};
    testsupport::ScriptedToolkit* toolkit_ = nullptr;
    std::shared_ptr<ui::Window> window_;
};

TEST_F(FileDownloadTest, SavesEveryLinkWithItsBytesIntactAndReplacesAnOldFile) {
    bodies_["o/r/releases/download/v1/tool.bin"] = randomBytes(3 << 20, 1);
    bodies_["o/r/raw/main/README.md"] = std::string("a\0b\r\nc", 6);
    bodies_["o/r/archive/v1.zip"] = randomBytes(70000, 2);
    testsupport::writeFile(save_.file("README.md"), "an older and longer file of the same name");

    const auto statuses =
        download({"https://github.com/o/r/releases/download/v1/tool.bin", "https://github.com/o/r/raw/main/README.md",
                  "https://github.com/o/r/archive/v1.zip"});

    EXPECT_EQ(statuses, std::vector<std::string>(3, download::kStatusCompleted));
    EXPECT_EQ(window_->cellText(kDownloadList, 2, 0), "3");
    EXPECT_EQ(window_->cellText(kDownloadList, 2, 1), "https://github.com/o/r/archive/v1.zip");
    EXPECT_EQ(readFile(save_.file("tool.bin")), bodies_["o/r/releases/download/v1/tool.bin"]);
    EXPECT_EQ(readFile(save_.file("README.md")), bodies_["o/r/raw/main/README.md"]);
    EXPECT_EQ(readFile(save_.file("v1.zip")), bodies_["o/r/archive/v1.zip"]);
    EXPECT_EQ(listFolder(save_.path()), "README.md tool.bin v1.zip");

    // The web helper's headers go with every download.
    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const auto& request : requests) {
        EXPECT_EQ(header(request, "User-Agent"),
                  "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                  "Chrome/98.0.4758.102 Safari/537.36 Edg/98.0.1108.62");
        EXPECT_EQ(header(request, "Accept"), "*/*");
        EXPECT_EQ(header(request, "Accept-Language"), "zh-cn");
        EXPECT_EQ(header(request, "Referer"), "https://gh.llkk.cc" + request.path);
    }
}

TEST_F(FileDownloadTest, AnErrorPageIsSavedLikeAnyBodyAndAnEmptyBodyFails) {
    bodies_["o/r/empty.txt"] = "";
    const auto statuses = download({"https://github.com/o/r/missing.zip", "https://github.com/o/r/empty.txt"});
    EXPECT_EQ(statuses, (std::vector<std::string>{download::kStatusCompleted, download::kStatusFailed}));
    EXPECT_EQ(readFile(save_.file("missing.zip")), "<html>Not Found</html>");
    EXPECT_EQ(listFolder(save_.path()), "missing.zip");
}

TEST_F(FileDownloadTest, NamesThatWouldLeaveTheFolderCannotBeSaved) {
    bodies_["o/r/"] = "listing";
    bodies_["o/r/.."] = "parent";
    bodies_["o/r\\"] = "backslash";
    const std::string folder = save_.file("inner");
    std::filesystem::create_directory(folder);
    window_->setText(kSaveFolderBox, folder);
    const auto statuses =
        download({"https://github.com/o/r/", "https://github.com/o/r/..", "https://github.com/o/r\\"});
    EXPECT_EQ(statuses, std::vector<std::string>(3, download::kStatusCannotSave));
    EXPECT_EQ(listFolder(save_.path()), "inner");
    EXPECT_EQ(listFolder(folder), "");
}

TEST_F(FileDownloadTest, AFolderThatCannotTakeTheFileGivesCannotSave) {
    bodies_["o/r/a.bin"] = "data";
    window_->setText(kSaveFolderBox, save_.file("missing"));
    EXPECT_EQ(download({"https://github.com/o/r/a.bin"}), std::vector<std::string>{download::kStatusCannotSave});

    // Root may write anywhere a mode allows; /proc takes no new file from anybody.
    const std::string unwritable = ::geteuid() == 0 ? std::string("/proc") : save_.file("locked");
    if (::geteuid() != 0) {
        std::filesystem::create_directory(unwritable);
        std::filesystem::permissions(unwritable,
                                     std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    }
    window_->setText(kSaveFolderBox, unwritable);
    EXPECT_EQ(download({"https://github.com/o/r/a.bin"}), std::vector<std::string>{download::kStatusCannotSave});

    // A folder in the target's place: the data came, the rename fails, the part file goes.
    window_->setText(kSaveFolderBox, save_.path());
    std::filesystem::create_directory(save_.file("a.bin"));
    testsupport::writeFile(save_.file("a.bin/kept"), "kept");
    EXPECT_EQ(download({"https://github.com/o/r/a.bin"}), std::vector<std::string>{download::kStatusCannotSave});
    EXPECT_EQ(listFolder(save_.path()), "a.bin");
    EXPECT_EQ(readFile(save_.file("a.bin/kept")), "kept");
}

// Answers that break off: a connection dropped halfway and one that stalls after a first piece.
class BrokenTransferTest : public FileDownloadTest {
protected:
    void answer(const httplib::Request& request, httplib::Response& response) override {
        const std::size_t size = 1 << 20;
        if (request.path.ends_with("/dropped.bin")) {
            response.set_content_provider(size, "application/octet-stream",
                                          [this, size](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                              if (offset >= size / 2)
                                                  return false; // the connection goes down halfway
                                              const std::string piece(64 * 1024, 'd');
                                              sink.write(piece.data(), piece.size());
                                              return true;
                                          });
            return;
        }
        response.set_content_provider(size, "application/octet-stream",
                                      [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                          if (offset > 0) {
                                              // Nothing more comes until the client has given up.
                                              while (!stopping_ && sink.is_writable())
                                                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                              return false;
                                          }
                                          // One byte: the transport judges a stall by its speed over the
                                          // last seconds, which a larger first piece would keep up.
                                          sink.write("f", 1);
                                          return true;
                                      });
    }
};

TEST_F(BrokenTransferTest, ABrokenOrStalledTransferFailsAndLeavesNoFile) {
    const auto started = std::chrono::steady_clock::now();
    const auto statuses = download({"https://github.com/o/r/dropped.bin", "https://github.com/o/r/stalled.bin"});
    EXPECT_EQ(statuses, std::vector<std::string>(2, download::kStatusFailed));
    EXPECT_EQ(listFolder(save_.path()), "");
    // Bounded by the one-second stall time-out set for the test, not by the 15-second default.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// Answers held back until the test lets them go.
class HeldAnswerTest : public FileDownloadTest {
protected:
    void answer(const httplib::Request& request, httplib::Response& response) override {
        ++waiting_;
        gate_.wait();
        FileDownloadTest::answer(request, response);
    }

    bool waitUntilWaiting(int count) {
        return toolkit_->runUntil([&] { return waiting_.load() >= count; });
    }

    std::atomic<int> waiting_{0};
};

TEST_F(HeldAnswerTest, TheFolderIsReadWhenTheDataArrives) {
    bodies_["o/r/late.txt"] = "late";
    window_->setText(kLinkInputBox, "https://github.com/o/r/late.txt");
    window_->fire(download::kDownloadLink, ui::Event::Pressed);
    ASSERT_TRUE(waitUntilWaiting(1));
    EXPECT_EQ(window_->cellText(kDownloadList, 0, 2), download::kStatusRunning);
    const std::string later = save_.file("later");
    std::filesystem::create_directory(later);
    window_->setText(kSaveFolderBox, later);
    gate_.open();
    EXPECT_EQ(waitForStatuses(0, 1), std::vector<std::string>{download::kStatusCompleted});
    EXPECT_EQ(readFile(later + "/late.txt"), "late");
}

TEST_F(HeldAnswerTest, ADownloadOutlivesItsClosedWindowSafely) {
    bodies_["o/r/after.txt"] = "after";
    // A window with the download handler alone: closing it writes no settings.
    auto window = ui::loadWindow(download::downloadWindowSpec(), [](ui::Window& w) {
        w.on(download::kDownloadLink, ui::Event::Pressed, [&w] { download::startDownloads(w); });
    });
    window->setText(kSaveFolderBox, save_.path());
    window->setText(kLinkInputBox, "https://github.com/o/r/after.txt");
    window->fire(download::kDownloadLink, ui::Event::Pressed);
    ASSERT_TRUE(waitUntilWaiting(1));
    ASSERT_TRUE(window->requestClose());
    toolkit_->pump();
    std::weak_ptr<ui::Window> watched = window;
    window.reset();
    EXPECT_FALSE(watched.expired()) << "the running download keeps its window";
    gate_.open();
    EXPECT_TRUE(toolkit_->runUntil([&] { return watched.expired(); }));
    EXPECT_EQ(readFile(save_.file("after.txt")), "after");
}

} // namespace
