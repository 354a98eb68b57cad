#include "update/update_check.h"

#include "platform/system.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"
#include "update/install_update.h"
#include "update/share_link.h"
#include "update/update_addresses.h"
#include "util/code_pages.h"
#include "util/html_to_text.h"
#include "util/json_object.h"
#include "util/process_values.h"
#include "util/text.h"
#include "util/text_utilities.h"
#include "util/web_request.h"

#include <atomic>
#include <optional>
#include <vector>

namespace update {
namespace {

constexpr const char* kOwner = "MainWindow";
constexpr std::string_view kCrLf = util::kCrLf;
/// What the download-link file says between the version and the link.
constexpr std::string_view kDownloadLinkNote =
    " - 下面是Corvana最新版本的下载链接，如果程序自动更新出现了问题，可以使用下面的链接手动下载。";

/// The numbers of a version text without their leading zeros; nothing when the text is not digit runs joined by
/// single dots. Blanks around the text (also the full-width and no-break spaces a note may carry) are ignored.
std::optional<std::vector<std::string>> versionNumbers(std::string_view text) {
    const auto dropPrefix = [&text](std::string_view blank) {
        if (!text.starts_with(blank))
            return false;
        text.remove_prefix(blank.size());
        return true;
    };
    const auto dropSuffix = [&text](std::string_view blank) {
        if (!text.ends_with(blank))
            return false;
        text.remove_suffix(blank.size());
        return true;
    };
    constexpr std::string_view kBlanks[] = {" ", "\t", "\r", "\n", "\xE3\x80\x80", "\xC2\xA0"};
    for (bool trimmed = true; trimmed;) {
        trimmed = false;
        for (const std::string_view blank : kBlanks)
            trimmed = dropPrefix(blank) || dropSuffix(blank) || trimmed;
    }
    if (text.empty())
        return std::nullopt;
    std::vector<std::string> numbers;
    std::string current;
    bool digits = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits = true;
            if (!current.empty() || c != '0')
                current += c;
        } else if (c == '.' && digits) {
            numbers.push_back(current);
            current.clear();
            digits = false;
        } else {
            return std::nullopt;
        }
    }
    if (!digits)
        return std::nullopt;
    numbers.push_back(current);
    return numbers;
}

/// Compares two numbers given as digits without leading zeros ("" is 0).
int compareNumbers(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

/// The version link's properties, when the main window exists.
void setVersionLink(bool disabled, const std::string& text) {
    if (const std::shared_ptr<ui::Window> window = util::mainWindow()) {
        window->setDisabled(kVersionLinkControl, disabled);
        window->setText(kVersionLinkControl, text);
    }
}

/// The file that keeps the share link for a manual update; a failure to write it is not reported.
void writeDownloadLinkFile(const std::string& latestVersion, const std::string& shareLink) {
    // The platform's line break, no byte-order mark, nothing after the link.
    const std::string content = latestVersion + std::string(kDownloadLinkNote) + "\n" + shareLink;
    (void)platform::writeFile(downloadLinkFilePath(), content);
}

/// The steps between the opening log lines and the version link's release.
void runCheck(const std::string& localVersion) {
    const std::string note = fetchNoteText(std::string(kNoteId));
    if (note.empty()) {
        ui::messageBox("获取最新版本失败，请过会再试~", ui::kMbIconError, "Err", kOwner);
        util::appendLog("Update Err");
        return;
    }
    const std::string latest = util::textBetween(note, "最新版本【", "】最新版本");
    const std::string changes = util::textBetween(note, "-更新内容", "-更新内容");
    if (!isNewerVersion(latest, localVersion)) {
        ui::messageBox("当前已是最新版本" + std::string(kCrLf) + "本地版本：" + localVersion + std::string(kCrLf) +
                           "最新版本：" + latest + std::string(kCrLf) + changes,
                       ui::kMbOk, "", kOwner);
        util::appendLog("Update Complete");
        return;
    }
    const int answer =
        ui::messageBox("有新的版本发布：" + latest + "，是否更新至该版本？" + std::string(kCrLf) +
                           "为防止更新后出错，这将会把下载链接输出到运行目录下" + std::string(kCrLf) + changes,
                       ui::kMbYesNo + ui::kMbIconInformation, "", kOwner);
    if (answer == ui::kAnswerYes) {
        util::appendLog("Please wait...");
        const std::string shareLink = std::string(kShareLinkBase) + util::textBetween(note, "下载地址【", "】下载地址");
        writeDownloadLinkFile(latest, shareLink);
        const std::string address = resolveShareLink(shareLink, "", "");
        // installUpdate ends the program when it installs; it returns only when nothing was installed.
        if (address.empty() || !installUpdate(address)) {
            ui::messageBox("更新时出现错误，请在本程序的运行目录下找到：最新版本下载链接.txt 手动进行更新",
                           ui::kMbIconError, "", kOwner);
            util::appendLog("Error");
        }
    }
    util::appendLog("Update Complete");
}

} // namespace

std::string fetchNoteText(const std::string& noteIdOrLink) {
    const std::string host(kNoteHost);
    std::string id;
    if (util::textContains(noteIdOrLink, "http://" + host + "/noteshare?id=")) {
        const std::size_t at = noteIdOrLink.rfind("?id=");
        if (at != std::string::npos)
            id = noteIdOrLink.substr(at + 4);
    } else if (util::textContains(noteIdOrLink, "https://" + host + "/ynoteshare/index.html?id=")) {
        id = util::textBetween(noteIdOrLink, "?id=", "&type");
    } else {
        id = noteIdOrLink;
    }
    if (id.empty())
        return {};
    const std::string answer = util::utf8ToText(util::webFetch("https://" + host + "/yws/public/note/" + id));
    util::JsonObject json;
    if (answer.empty() || !json.parse(answer))
        return {};
    const std::string content = json.getText("content");
    return content.empty() ? std::string() : util::htmlToText(content);
}

bool isNewerVersion(std::string_view announced, std::string_view local) {
    const std::optional<std::vector<std::string>> higher = versionNumbers(announced);
    if (!higher)
        return false;
    const std::optional<std::vector<std::string>> lower = versionNumbers(local);
    if (!lower)
        return true;
    const std::size_t parts = std::max(higher->size(), lower->size());
    for (std::size_t i = 0; i < parts; ++i) {
        const std::string& a = i < higher->size() ? (*higher)[i] : std::string();
        const std::string& b = i < lower->size() ? (*lower)[i] : std::string();
        if (const int order = compareNumbers(a, b); order != 0)
            return order > 0;
    }
    return false;
}

std::string downloadLinkFilePath() {
    return platform::runDirectory() + "/" + std::string(kDownloadLinkFileName);
}

void updateCheck() {
    // The disabled link keeps a second check from starting; this guards callers that bypass the link.
    static std::atomic<bool> running{false};
    if (running.exchange(true))
        return;
    setVersionLink(true, "Loding...");
    const std::string localVersion = platform::programVersion();
    util::appendLog("Local Ver: " + localVersion);
    util::appendLog("Get info...");
    runCheck(localVersion);
    setVersionLink(false, "v" + platform::programVersion());
    running = false;
}

} // namespace update
