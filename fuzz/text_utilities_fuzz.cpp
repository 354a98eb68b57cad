// textBetween and removeBlankLines on any text, each against a plain reference of what it promises.
//
// Input: a left marker line, a right marker line, then the text (textBetween); the whole input is also the
// caller's variable of removeBlankLines.

#include "fuzz/fuzz_support.h"
#include "util/regex_object.h"
#include "util/text_utilities.h"

#include <string>
#include <string_view>

namespace {

using fuzz::expect;
constexpr std::size_t kNone = std::string_view::npos;

std::string withQuotes(std::string_view marker) {
    std::string out;
    for (std::size_t at = 0; at < marker.size();) {
        if (marker.substr(at).starts_with(util::kQuoteMarker)) {
            out.push_back('"');
            at += util::kQuoteMarker.size();
        } else {
            out.push_back(marker[at++]);
        }
    }
    return out;
}

// The text after the first left marker at or after `start` (1-based) up to the next right marker.
std::string referenceBetween(std::string_view text, std::string_view left, std::string_view right, int start,
                             bool ignoreCase) {
    const std::string leftMarker = withQuotes(left);
    const std::string rightMarker = withQuotes(right);
    const std::size_t from = start > 1 ? static_cast<std::size_t>(start - 1) : 0;
    const std::size_t found = fuzz::referenceFind(text, leftMarker, from, ignoreCase);
    if (found == kNone)
        return {};
    const std::size_t after = found + leftMarker.size();
    const std::size_t end = fuzz::referenceFind(text, rightMarker, after, ignoreCase);
    if (end == kNone)
        return {};
    return std::string(text.substr(after, end - after));
}

bool endsLine(char c) {
    return c == '\r' || c == '\n';
}

// Every CR that follows a line start and every LF that precedes a line end dropped, CR, LF and CR LF all ending a
// line.
std::string referenceBlankLinesRemoved(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '\r' && (at == 0 || endsLine(text[at - 1])))
            continue;
        if (c == '\n' && (at + 1 == text.size() || endsLine(text[at + 1])))
            continue;
        out.push_back(c);
    }
    return out;
}

void checkRemoveBlankLines(std::string_view input) {
    std::string expectedVariable(input);
    if (expectedVariable.starts_with("\r\n"))
        expectedVariable.erase(0, 2);
    if (expectedVariable.ends_with("\r\n"))
        expectedVariable.erase(expectedVariable.size() - 2);
    std::string variable(input);
    const std::string answer = util::removeBlankLines(variable);
    expect(variable == expectedVariable, "the caller's text loses one CR LF at the start, then one at the end");
    expect(answer == referenceBlankLinesRemoved(variable), "the answer has the blank lines removed");
    expect(answer.find("\r\n\r\n") == kNone, "no empty line is left between two lines");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::inputText(data, size);
    checkRemoveBlankLines(input);

    std::string_view text = input;
    const std::string_view left = fuzz::takeLine(text);
    const std::string_view right = fuzz::takeLine(text);
    const int later = static_cast<int>(text.size() / 3) + 1;
    for (const int start : {0, -5, 1, later}) {
        for (const bool ignoreCase : {false, true}) {
            expect(util::textBetween(text, left, right, start, ignoreCase) ==
                       referenceBetween(text, left, right, start, ignoreCase),
                   "textBetween answers the text between the first left marker and the next right marker");
        }
    }
    return 0;
}
