// htmlToText on any fragment: the shape of the answer (CR LF lines, nothing blank at either end, valid UTF-8) and,
// for a fragment without markup, the text itself with its white space collapsed.
//
// Input: the HTML fragment.

#include "fuzz/fuzz_support.h"
#include "util/code_pages.h"
#include "util/html_to_text.h"

#include <string>
#include <string_view>

namespace {

using fuzz::expect;

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Characters a document cannot hold (C0 controls but tab, LF and CR; U+FFFE and U+FFFF), which the parser drops.
std::size_t unfitCharacterAt(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
        return 1;
    if (text.substr(at, 3) == "\xEF\xBF\xBE" || text.substr(at, 3) == "\xEF\xBF\xBF")
        return 3;
    return 0;
}

// Plain text as a browser shows it: each run of white space one space, none at either end; a no-break space stays.
std::string collapsedText(std::string_view text) {
    std::string out;
    bool pendingSpace = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (const std::size_t unfit = unfitCharacterAt(text, at)) {
            at += unfit - 1;
            continue;
        }
        if (isWhiteSpace(text[at])) {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace)
            out.push_back(' ');
        pendingSpace = false;
        if (text.substr(at, 2) == "\xC2\xA0") {
            out.push_back(' ');
            ++at;
            continue;
        }
        out.push_back(text[at]);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view html = fuzz::inputText(data, size);
    const std::string text = util::htmlToText(html);
    if (html.find_first_of(std::string_view("<&\0", 3)) == std::string_view::npos && util::isValidUtf8(html))
        expect(text == collapsedText(html), "a fragment without markup answers its text with white space collapsed");
    if (text.empty())
        return 0;
    expect(util::isValidUtf8(text), "the answer is UTF-8");
    expect(text.front() != '\r' && text.front() != '\n' && text.back() != '\r' && text.back() != '\n',
           "no line break at either end");
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\r')
            expect(at + 1 < text.size() && text[at + 1] == '\n', "a CR only begins a CR LF");
        if (text[at] == '\n')
            expect(at > 0 && text[at - 1] == '\r', "an LF only ends a CR LF");
    }
    return 0;
}
