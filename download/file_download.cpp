#include "download/file_download.h"

#include "download/download_window.h"
#include "download/mirror_links.h"
#include "platform/system.h"
#include "platform/ui/window.h"
#include "util/web_request.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>

namespace download {

namespace {

constexpr int kPartFileAttempts = 8;

// The web helper's time-out for connecting and for a pause in the answer; 0 is its default of 15 seconds.
std::atomic<int> timeoutSeconds{0};

std::string randomSuffix() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::uint64_t value = generator();
    std::string suffix(16, '0');
    for (char& digit : suffix) {
        digit = kDigits[value & 0xF];
        value >>= 4;
    }
    return suffix;
}

// The body on its way to disk: a hidden file of its own in the save folder, renamed over the target when complete,
// deleted otherwise.
class PartFile {
public:
    PartFile() = default;
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    ~PartFile() { discard(); }

    [[nodiscard]] bool create(const std::string& folder) {
        for (int attempt = 0; attempt < kPartFileAttempts; ++attempt) {
            std::string path = folder + "/.corvana-" + randomSuffix() + ".part";
            // "x": never open a file that is already there, whoever made it.
            file_ = std::fopen(path.c_str(), "wbx");
            if (file_ != nullptr) {
                path_ = std::move(path);
                // The transport hands over pieces of several KiB: written as they come, without another copy.
                std::setvbuf(file_, nullptr, _IONBF, 0);
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    [[nodiscard]] bool write(std::string_view bytes) {
        return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    }

    /// Closes the file and renames it over the target; false (and the part file gone) when either step fails.
    [[nodiscard]] bool commit(const std::string& target) {
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        std::error_code error;
        if (closed)
            std::filesystem::rename(path_, target, error);
        if (!closed || error) {
            discard();
            return false;
        }
        path_.clear();
        return true;
    }

    void discard() {
        if (file_ != nullptr) {
            std::fclose(file_);
            file_ = nullptr;
        }
        if (!path_.empty()) {
            std::remove(path_.c_str());
            path_.clear();
        }
    }

private:
    std::FILE* file_ = nullptr;
    std::string path_;
};

} // namespace

const char* statusText(DownloadOutcome outcome) {
    switch (outcome) {
    case DownloadOutcome::Completed:
        return kStatusCompleted;
    case DownloadOutcome::CannotSave:
        return kStatusCannotSave;
    case DownloadOutcome::Failed:
        break;
    }
    return kStatusFailed;
}

std::string fileNameFromLink(std::string_view link) {
    const auto isSeparator = [](char c) { return c == '\\' || c == '/' || c == ':'; };
    std::size_t start = 0;
    for (std::size_t i = 0; i + 1 < link.size(); ++i) {
        if (isSeparator(link[i]) && link[i + 1] != '\\' && link[i + 1] != '/')
            start = i + 1;
    }
    const std::string_view component = link.substr(start);
    if (!component.empty() && component.back() == '\\')
        return {};
    return std::string(component);
}

bool isSaveableName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

DownloadOutcome downloadLink(const std::string& link, const std::function<std::string()>& saveFolder) {
    bool dataArrived = false;
    bool cannotSave = false;
    std::string target;
    PartFile part;

    const auto sink = [&](std::string_view chunk) {
        if (chunk.empty())
            return true;
        if (!dataArrived) {
            dataArrived = true;
            const std::string folder = saveFolder ? saveFolder() : std::string();
            const std::string name = fileNameFromLink(link);
            // An empty folder would put the file at the root; a name like ".." or "a/" would leave the folder.
            if (folder.empty() || !isSaveableName(name) || !part.create(folder)) {
                cannotSave = true;
                return false;
            }
            target = folder + "/" + name;
        }
        if (!part.write(chunk)) {
            cannotSave = true;
            return false;
        }
        return true;
    };
    const util::StreamedFetch fetched = util::webFetchToSink(link, sink, {}, timeoutSeconds.load());

    if (!dataArrived)
        return DownloadOutcome::Failed;
    if (cannotSave)
        return DownloadOutcome::CannotSave;
    if (!fetched.completed)
        return DownloadOutcome::Failed;
    return part.commit(target) ? DownloadOutcome::Completed : DownloadOutcome::CannotSave;
}

void downloadWorker(const std::shared_ptr<ui::Window>& window, int row, const std::string& mirrorLink) {
    const DownloadOutcome outcome = downloadLink(mirrorLink, [&window] { return window->text(kSaveFolderBox); });
    window->setCellText(kDownloadList, row, 2, statusText(outcome));
}

void startDownloads(ui::Window& window) {
    const auto lines = buildMirrorLinks(window);
    const auto self = window.weak_from_this().lock();
    if (!lines || !self)
        return;
    for (const MirrorLine& line : *lines) {
        const int row = window.insertRow(kDownloadList);
        if (row < 0)
            return;
        window.setCellText(kDownloadList, row, 0, std::to_string(window.rowCount(kDownloadList)));
        window.setCellText(kDownloadList, row, 1, line.line);
        window.setCellText(kDownloadList, row, 2, kStatusRunning);
        // The thread owns its copies of the window handle and the link; nothing waits for it.
        const bool started =
            platform::startThread([self, row, link = line.mirrorLink] { downloadWorker(self, row, link); });
        if (!started)
            window.setCellText(kDownloadList, row, 2, kStatusFailed);
    }
}

void setDownloadTimeoutSeconds(int seconds) {
    timeoutSeconds.store(seconds > 0 ? seconds : 0);
}

} // namespace download
