// The managed block in any hosts text: what removeMarkedSpans and cutManagedBlocks keep and cut, what
// hasManagedBlock sees, and that clearing after a run gives the user's text back.
//
// Input: a hosts text. Its first two lines also serve as a start and an end marker of their own for
// removeMarkedSpans over the rest.

#include "fuzz/fuzz_support.h"
#include "hosts/hosts_file.h"

#include <string>
#include <string_view>

namespace {

using fuzz::expect;
constexpr std::size_t kNone = std::string_view::npos;

bool isSubsequence(std::string_view part, std::string_view whole) {
    std::size_t at = 0;
    for (const char c : whole) {
        if (at < part.size() && part[at] == c)
            ++at;
    }
    return at == part.size();
}

// The last start marker as the cut collects them: scanning on after each one found, so they never overlap.
std::size_t lastStartMarker(std::string_view text, std::string_view start) {
    std::size_t last = kNone;
    for (std::size_t at = fuzz::referenceFind(text, start, 0, true); at != kNone;
         at = fuzz::referenceFind(text, start, at + start.size(), true))
        last = at;
    return last;
}

// What removeMarkedSpans promises for any pair of markers.
std::string checkRemovedSpans(std::string_view text, std::string_view start, std::string_view end) {
    std::string result = hosts::removeMarkedSpans(text, start, end);
    expect(result.size() <= text.size(), "removeMarkedSpans never lengthens the text");
    expect(isSubsequence(result, text), "removeMarkedSpans only deletes");
    const std::size_t firstStart = fuzz::referenceFind(text, start, 0, true);
    if (firstStart == kNone) {
        expect(result == text, "a text without a start marker comes back unchanged");
        return result;
    }
    expect(result.starts_with(text.substr(0, firstStart)), "the text before the first start marker is kept");
    return result;
}

void checkManagedMarkers(std::string_view text) {
    const std::string_view start = hosts::kBlockStartMarker;
    const std::string_view end = hosts::kBlockEndMarker;
    const std::string removed = checkRemovedSpans(text, start, end);
    if (removed != text)
        expect(hosts::hasManagedBlock(text), "only a text with a managed block loses anything");

    // The two marker lines cannot overlap, so a last start marker without an end marker after it stays with all
    // that follows it.
    const std::size_t lastStart = lastStartMarker(text, start);
    if (lastStart != kNone && fuzz::referenceFind(text, end, lastStart + start.size(), false) == kNone)
        expect(removed.ends_with(text.substr(lastStart)), "a start marker with no end marker after it stays");

    const std::string cut = hosts::cutManagedBlocks(std::string(text));
    expect(cut.size() <= removed.size(), "cutManagedBlocks cuts at least what removeMarkedSpans cuts");
    expect(isSubsequence(cut, removed), "cutManagedBlocks only takes line breaks besides the spans");
    const std::size_t firstStart = fuzz::referenceFind(text, start, 0, true);
    if (firstStart == kNone) {
        expect(cut == text, "cutManagedBlocks leaves a text without a start marker unchanged");
    } else {
        std::string_view before = text.substr(0, firstStart);
        if (before.ends_with('\n'))
            before.remove_suffix(before.ends_with("\r\n") ? 2 : 1);
        expect(cut.starts_with(before), "cutManagedBlocks keeps the user's lines before the first block");
    }
}

// A run writes the text it read, LF and the block; clearing must give that text back.
void checkRunThenClear(std::string_view text) {
    const std::string user = hosts::cutManagedBlocks(std::string(text));
    // Only a text that clearing itself leaves alone (a start marker left over from a cut could pair up with a
    // later end marker once the span between them is gone).
    if (hosts::cutManagedBlocks(user) != user)
        return;
    const std::string start(hosts::kBlockStartMarker);
    const std::string end(hosts::kBlockEndMarker);
    // A CR that ends the user's text reads as the first half of the CR LF a run wrote ahead of the block.
    const std::string expected = user.ends_with('\r') ? user.substr(0, user.size() - 1) : user;
    for (const std::string& block :
         {start + "\n140.82.113.3 github.com\n185.199.108.133 avatars.githubusercontent.com\n" + end,
          start + "\r\n\r\n140.82.113.4 api.github.com\r\n" + end}) {
        const std::string installed = hosts::appendBlock(user, block);
        expect(hosts::hasManagedBlock(installed), "an installed block is found");
        expect(hosts::cutManagedBlocks(installed) == expected, "clearing after a run gives the user's text back");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::inputText(data, size);
    checkManagedMarkers(text);
    checkRunThenClear(text);

    std::string_view rest = text;
    const std::string_view start = fuzz::takeLine(rest);
    const std::string_view end = fuzz::takeLine(rest);
    if (!start.empty() && !end.empty())
        (void)checkRemovedSpans(rest, start, end);
    return 0;
}
