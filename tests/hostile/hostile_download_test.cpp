// The download worker, in-process, against a hostile stand-in for a download mirror. Whatever the mirror does, the
// row ends in bounded time with a status that says what happened, memory stays flat, and the save folder holds the
// whole file or nothing at all.

#include "download/download_window.h"
#include "download/file_download.h"
#include "download/mirror_hosts.h"
#include "platform/ui/window.h"
#include "tests/hostile/hostile_server.h"
#include "tests/support/scripted_toolkit.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_certificates.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>

namespace {

using namespace std::chrono_literals;
using hostile::Hostility;

const std::string kMirrorHost(download::kMirrorHosts[4]);
const std::string kMirrorLink = "https://" + kMirrorHost + "/https://github.com/o/r/releases/download/v1/tool.bin";
// The download time-out seam: a second for connecting and for a pause, instead of fifteen.
constexpr int kTimeoutSeconds = 1;
// A disk that is full after this much: an endless download has to end somewhere.
constexpr std::size_t kDiskBytes = std::size_t{32} << 20;

std::string fileBytes() {
    std::mt19937 generator(7);
    std::string bytes(256 * 1024, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

class HostileMirror : public testing::TestWithParam<Hostility> {
protected:
    void SetUp() override {
        toolkit_ = &testsupport::installScriptedToolkit();
        window_ = ui::loadWindow(download::downloadWindowSpec(), [](ui::Window&) {});
        window_->setText(download::kSaveFolderBox, save_.path());
        row_ = window_->insertRow(download::kDownloadList);
        window_->setCellText(download::kDownloadList, row_, 2, download::kStatusRunning);
        download::setDownloadTimeoutSeconds(kTimeoutSeconds);
    }
    void TearDown() override { download::setDownloadTimeoutSeconds(0); }

    testsupport::TempDir save_;
    testsupport::TempDir certificates_;
    testsupport::TestCertificateAuthority authority_{certificates_.path()};
    testsupport::ScriptedToolkit* toolkit_ = nullptr;
    std::shared_ptr<ui::Window> window_;
    int row_ = -1;
};

struct Expected {
    const char* status;
    /// The save folder's content afterwards.
    const char* folder;
};

Expected expectedFor(Hostility hostility) {
    switch (hostility) {
    case Hostility::WellBehaved:
        return {download::kStatusCompleted, "tool.bin"};
    case Hostility::EndlessBody:
    case Hostility::HugeContentLength:
        // The data keeps coming until the disk is full.
        return {download::kStatusCannotSave, ""};
    case Hostility::HtmlWith200:
    case Hostility::HtmlWith404:
        // A mirror's page is saved like any body: the program cannot tell it from a file.
        return {download::kStatusCompleted, "tool.bin"};
    default:
        return {download::kStatusFailed, ""};
    }
}

TEST_P(HostileMirror, EndsTheRowInBoundedTimeWithTheWholeFileOrNothing) {
    const Hostility hostility = GetParam();
    const std::string bytes = fileBytes();
    hostile::HostileServer server(hostility, {bytes, "application/octet-stream"}, &authority_, {kMirrorHost});
    const testsupport::ScopedEnvironment connectTo("CORVANA_CONNECT_TO",
                                                   testsupport::connectToEntry(kMirrorHost, 443, server.port()));
    const testsupport::ScopedEnvironment caBundle("CORVANA_CA_BUNDLE", authority_.authority().certificateFile);

    std::optional<hostile::FileSizeLimit> disk;
    if (hostile::fillsMemory(hostility))
        disk.emplace(kDiskBytes);
    const bool measured = hostile::resetPeakMemory();
    const auto started = std::chrono::steady_clock::now();
    download::downloadWorker(window_, row_, kMirrorLink);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    const long peak = hostile::peakMemoryKiB();
    disk.reset();

    const Expected expected = expectedFor(hostility);
    EXPECT_EQ(window_->cellText(download::kDownloadList, row_, 2), expected.status);
    EXPECT_EQ(testsupport::listFolder(save_.path()), expected.folder) << "a partial file was left";
    if (hostility == Hostility::WellBehaved) {
        EXPECT_EQ(testsupport::readFile(save_.file("tool.bin")), bytes);
    }
    if (hostility == Hostility::HtmlWith200 || hostility == Hostility::HtmlWith404) {
        EXPECT_EQ(testsupport::readFile(save_.file("tool.bin")), hostile::htmlPage());
    }
    // The trickle is cut by the one-second stall limit; the rest needs no limit at all.
    EXPECT_LT(elapsed, 10s);
    if (measured) {
        EXPECT_LT(peak, hostile::kMemoryLimitKiB);
    }
    EXPECT_EQ(server.elsewhere().requestCount(), 0u) << "an https download went on over plain http";
    if (hostile::isCertificateFault(hostility)) {
        EXPECT_EQ(server.requestCount(), 0u) << "a request was sent through a refused certificate";
    }
    RecordProperty("PeakMemoryKiB", std::to_string(peak));
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileMirror, testing::ValuesIn([] {
                             std::vector<Hostility> cases{Hostility::WellBehaved};
                             const auto& all = hostile::everyHostility();
                             cases.insert(cases.end(), all.begin(), all.end());
                             return cases;
                         }()),
                         [](const auto& info) { return std::string(hostile::nameOf(info.param)); });

} // namespace
