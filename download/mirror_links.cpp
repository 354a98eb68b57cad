#include "download/mirror_links.h"

#include "download/download_window.h"
#include "download/mirror_hosts.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"
#include "util/text.h"
#include "util/text_utilities.h"

namespace download {

namespace {

// removeBlankLines leaves a bare LF at the start when the text began with more than one blank line, and a bare CR
// at the end when it ended with more than one: pieces of line breaks, never part of a link.
std::string withoutStrayLineBreaks(const std::string& line) {
    const auto first = line.find_first_not_of("\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = line.find_last_not_of("\r\n");
    return line.substr(first, last - first + 1);
}

// Texts inside the program break lines with CR LF; another program's clipboard text may use LF alone.
std::string withCrLf(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            result += '\r';
        result += text[i];
    }
    return result;
}

} // namespace

std::string mirrorRadioName(int mirror) {
    return "单选框" + std::to_string(mirror);
}

std::string mirrorPrefix(int mirror) {
    if (mirror < 1 || mirror > static_cast<int>(kMirrorHosts.size()))
        return {};
    return "https://" + std::string(kMirrorHosts[static_cast<std::size_t>(mirror - 1)]) + "/";
}

std::optional<std::vector<MirrorLine>> buildMirrorLinks(std::string input, int mirror) {
    if (util::removeSpaces(input).empty())
        return std::nullopt;
    std::string prefix = mirrorPrefix(mirror);
    if (prefix.empty())
        prefix = mirrorPrefix(1);
    std::vector<MirrorLine> lines;
    for (const std::string& piece : util::splitText(util::removeBlankLines(input), util::kCrLf)) {
        std::string line = withoutStrayLineBreaks(piece);
        if (line.empty())
            continue;
        std::string link = prefix + line;
        lines.push_back({std::move(line), std::move(link)});
    }
    return lines;
}

std::optional<std::vector<MirrorLine>> buildMirrorLinks(const ui::Window& window) {
    int mirror = 1;
    for (int candidate = 1; candidate <= static_cast<int>(kMirrorHosts.size()); ++candidate) {
        if (window.checked(mirrorRadioName(candidate))) {
            mirror = candidate;
            break;
        }
    }
    return buildMirrorLinks(window.text(kLinkInputBox), mirror);
}

void pasteLinks(ui::Window& window) {
    const std::string text = ui::toolkit().clipboardText();
    if (!text.empty())
        window.setText(kLinkInputBox, withCrLf(text));
}

void copyMirrorLinks(ui::Window& window) {
    const auto lines = buildMirrorLinks(window);
    if (!lines)
        return;
    std::vector<std::string> links;
    links.reserve(lines->size());
    for (const MirrorLine& line : *lines)
        links.push_back(line.mirrorLink);
    const std::string joined = util::joinText(links, util::kCrLf);
    ui::toolkit().setClipboardText(joined);
    ui::messageBox("已将下列链接复制到剪贴板\r\n" + joined, ui::kMbOk | ui::kMbIconInformation, "信息", window.name());
}

} // namespace download
