// Sources 2 and 4: hosts lists that others publish.

#include "hosts/list_text.h"

#include "hosts/endpoints.h"
#include "hosts/hosts_file.h"
#include "platform/net.h"
#include "util/process_values.h"
#include "util/text.h"

#include <string>

namespace hosts {
namespace {

constexpr std::string_view kList4StartMarker = "# GitHub520 Host Start";
constexpr std::string_view kList4EndMarker = "# GitHub520 Host End";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

} // namespace

bool looksLikeHostsList(std::string_view text) {
    bool anyAddressLine = false;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(begin, end - begin);
        begin = end + 1;
        while (!line.empty() && isBlank(line.front()))
            line.remove_prefix(1);
        while (!line.empty() && isBlank(line.back()))
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t gap = line.find_first_of(" \t");
        if (gap == std::string_view::npos || !isIpAddress(std::string(line.substr(0, gap))))
            return false;
        anyAddressLine = true;
    }
    return anyAddressLine;
}

std::string collapseSpaceRuns(std::string text) {
    for (int run = 17; run >= 2; --run)
        text = util::replaceText(text, std::string(static_cast<std::size_t>(run), ' '), " ");
    return text;
}

Block listBlock(int source, std::string list) {
    if (source == 2) {
        // Clearing takes a start marker in any letter case, so the list keeps none: not one of its own, nor one that
        // only collapsing its spaces or removing another marker makes. Otherwise clearing would cut from that marker
        // on and leave the program's start marker and the lines before it in the hosts file for good.
        std::string text = std::move(list);
        for (;;) {
            std::string next = collapseSpaceRuns(util::replaceText(text, kBlockStartMarker, "", true));
            if (next == text)
                break;
            text = std::move(next);
        }
        // The line break the program puts after its own start marker is the program's; the list keeps its own.
        return {std::string(kBlockStartMarker) + std::string(util::kCrLf) + text,
                std::string(kBlockStartMarker) + "\n" + text};
    }
    std::string text = collapseSpaceRuns(std::move(list));
    text = util::replaceText(text, kList4StartMarker, kBlockStartMarker);
    text = util::replaceText(text, kList4EndMarker, kBlockEndMarker);
    return {text, text};
}

void runListSource(int source) {
    const std::string url(source == 2 ? kSource2ListUrl : kSource4ListUrl);
    const std::string list = fetchWithRetries(
        [&url] {
            std::string answer = platform::httpGetText(url, util::proxyUrl());
            return looksLikeHostsList(answer) ? answer : std::string();
        },
        "Retry...");
    if (list.empty()) {
        abortRun(source == 2 ? "Please try switching the address source: 直接转换"
                             : "Please try switching the address source: Auto");
        return;
    }
    setProgress(30);
    const Block block = listBlock(source, list);
    util::appendLog("Initialization ret: " + std::to_string(block.text.size()));
    installBlock(source, block, block);
}

} // namespace hosts
