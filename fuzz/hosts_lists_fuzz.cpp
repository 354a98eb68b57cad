// Sources 2 and 4 on any answer: the space collapsing, the judgement whether the answer is a hosts list, and the
// block a list becomes, down to clearing it again.
//
// Input: the answer of the list's address.

#include "fuzz/fuzz_support.h"
#include "hosts/hosts_file.h"
#include "hosts/list_text.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string>
#include <string_view>

namespace {

using fuzz::expect;
constexpr std::size_t kNone = std::string_view::npos;
const std::string kUserText = "127.0.0.1 localhost\n::1 localhost ip6-localhost\n";

std::string collapsedByRuns(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == ' ' && at > 0 && text[at - 1] == ' ')
            continue;
        out.push_back(text[at]);
    }
    return out;
}

bool isAddress(std::string_view token) {
    if (token.find('\0') != kNone)
        return false;
    const std::string text(token);
    in6_addr address{};
    return ::inet_pton(AF_INET, text.c_str(), &address) == 1 || ::inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

bool isLineBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// A hosts list, judged line by line from its words: blank lines, comments, and lines whose first word is an
// address and that hold a further word; at least one such line.
bool referenceHostsList(std::string_view text) {
    bool anyAddress = false;
    while (!text.empty()) {
        std::string_view line = fuzz::takeLine(text);
        std::size_t first = 0;
        while (first < line.size() && isLineBlank(line[first]))
            ++first;
        if (first == line.size() || line[first] == '#')
            continue;
        std::size_t wordEnd = first;
        while (wordEnd < line.size() && line[wordEnd] != ' ' && line[wordEnd] != '\t')
            ++wordEnd;
        bool anotherWord = false;
        for (std::size_t at = wordEnd; at < line.size(); ++at)
            anotherWord = anotherWord || !isLineBlank(line[at]);
        if (!anotherWord || !isAddress(line.substr(first, wordEnd - first)))
            return false;
        anyAddress = true;
    }
    return anyAddress;
}

std::string withCrLf(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

std::size_t countStartMarkers(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = fuzz::referenceFind(text, hosts::kBlockStartMarker, 0, true); at != kNone;
         at = fuzz::referenceFind(text, hosts::kBlockStartMarker, at + hosts::kBlockStartMarker.size(), true))
        ++count;
    return count;
}

// A block whose one start marker is followed by an end marker line goes, head and all, with the next clearing; what
// the list brings after its end marker stays. (An end marker with more text on its line may join what is left of
// the line before the block into a new marker.)
void checkClearing(const std::string& blockFileText) {
    const std::size_t start = fuzz::referenceFind(blockFileText, hosts::kBlockStartMarker, 0, true);
    if (start == kNone || countStartMarkers(blockFileText) != 1)
        return;
    const std::size_t end =
        fuzz::referenceFind(blockFileText, hosts::kBlockEndMarker, start + hosts::kBlockStartMarker.size(), false);
    const std::size_t afterEnd = end == kNone ? kNone : end + hosts::kBlockEndMarker.size();
    if (afterEnd == kNone ||
        (afterEnd < blockFileText.size() && blockFileText[afterEnd] != '\n' && blockFileText[afterEnd] != '\r'))
        return;
    const std::string cleared = hosts::cutManagedBlocks(hosts::appendBlock(kUserText, blockFileText));
    expect(cleared.starts_with(kUserText), "clearing keeps the user's lines");
    expect(countStartMarkers(cleared) == 0, "clearing takes the whole block from its start marker");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view answer = fuzz::inputText(data, size);

    const std::string collapsed = hosts::collapseSpaceRuns(std::string(answer));
    expect(collapsed == collapsedByRuns(answer), "every run of spaces becomes one space and nothing else changes");

    const bool list = hosts::looksLikeHostsList(answer);
    expect(list == referenceHostsList(answer), "a hosts list has only blank, comment and address lines, and one "
                                               "address line at least");
    expect(hosts::looksLikeHostsList(collapsed) == list, "collapsing spaces does not change the judgement");
    expect(hosts::looksLikeHostsList(withCrLf(answer)) == list, "CR LF lines are judged as LF lines");
    if (!list)
        return 0;

    const hosts::Block block2 = hosts::listBlock(2, std::string(answer));
    const std::string prefix2 = std::string(hosts::kBlockStartMarker) + "\r\n";
    const std::string filePrefix2 = std::string(hosts::kBlockStartMarker) + "\n";
    expect(block2.text.starts_with(prefix2) && block2.fileText.starts_with(filePrefix2),
           "a source-2 block begins with the start marker line");
    const std::string_view list2 = std::string_view(block2.text).substr(prefix2.size());
    expect(list2 == std::string_view(block2.fileText).substr(filePrefix2.size()),
           "the list keeps its own line breaks in both forms of the block");
    expect(countStartMarkers(list2) == 0, "a source-2 block has exactly one start marker, at the top");
    expect(list2.find("  ") == kNone, "a source-2 block has no run of spaces");
    checkClearing(block2.fileText);

    const hosts::Block block4 = hosts::listBlock(4, std::string(answer));
    expect(block4.text == block4.fileText, "a source-4 block is the list as it came, in both forms");
    expect(block4.text.find("  ") == kNone, "a source-4 block has no run of spaces");
    checkClearing(block4.fileText);
    return 0;
}
