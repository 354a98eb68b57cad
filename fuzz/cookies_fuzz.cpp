// The cookie texts of the web request helper: mergeCookieTexts of any two cookie texts, and
// collectResponseCookies of any header text and of Set-Cookie lines built from the input's pairs.
//
// Input: the old cookie text line, the new cookie text line, then the answer's header text (CR LF lines).

#include "fuzz/fuzz_support.h"
#include "util/text.h"
#include "util/web_request.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

using fuzz::expect;
constexpr std::string_view kSeparator = "; ";

std::vector<std::string> pairsOf(std::string_view text) {
    std::vector<std::string> pairs;
    while (!text.empty()) {
        const std::size_t at = text.find(kSeparator);
        pairs.emplace_back(text.substr(0, at));
        if (at == std::string_view::npos)
            break;
        text.remove_prefix(at + kSeparator.size());
    }
    return pairs;
}

std::string joined(const std::vector<std::string>& pairs) {
    std::string text;
    for (std::size_t i = 0; i < pairs.size(); ++i)
        text += (i == 0 ? "" : std::string(kSeparator)) + pairs[i];
    return text;
}

std::string nameOf(std::string_view pair) {
    return util::trimSpaces(pair.substr(0, pair.find('=')));
}

// A cookie text as the merge reads it: trimmed, a final ";" a separator of its own.
std::vector<std::string> cookiePairs(std::string_view text) {
    std::string prepared = util::trimSpaces(text);
    if (prepared.ends_with(';'))
        prepared.push_back(' ');
    return pairsOf(prepared);
}

void checkMerge(std::string_view oldCookies, std::string_view newCookies) {
    const std::string merged = util::mergeCookieTexts(std::string(oldCookies), std::string(newCookies));
    const std::vector<std::string> result = pairsOf(merged);
    for (std::size_t i = 0; i < result.size(); ++i) {
        expect(!result[i].ends_with("=deleted"), "a merge drops =deleted pairs");
        expect(std::find(result.begin(), result.begin() + static_cast<std::ptrdiff_t>(i), result[i]) ==
                   result.begin() + static_cast<std::ptrdiff_t>(i),
               "a merge drops exact duplicates");
    }

    // The new pairs, then each old one whose name no pair taken so far has (so of two old pairs of one name only the
    // first stays); then without =deleted pairs and duplicates.
    std::vector<std::string> expected = cookiePairs(newCookies);
    for (const std::string& pair : cookiePairs(oldCookies)) {
        const bool known = std::any_of(expected.begin(), expected.end(),
                                       [&pair](const std::string& taken) { return nameOf(taken) == nameOf(pair); });
        if (!known)
            expected.push_back(pair);
    }
    std::erase_if(expected, [](const std::string& pair) { return pair.ends_with("=deleted"); });
    std::vector<std::string> unique;
    for (const std::string& pair : pairsOf(joined(expected))) {
        if (std::find(unique.begin(), unique.end(), pair) == unique.end())
            unique.push_back(pair);
    }
    expect(merged == joined(unique), "a merge is the new pairs, then the old pairs of names not taken yet");
}

void checkCollect(std::string_view headers) {
    const std::string cookies = util::collectResponseCookies(std::string(headers));
    std::size_t cookieLines = 0;
    for (const std::string& line : util::splitText(headers, "\r\n"))
        cookieLines += line.starts_with("Set-Cookie: ") ? 1 : 0;
    if (cookieLines == 0)
        expect(cookies.empty(), "an answer without Set-Cookie lines sets no cookie");
    expect(pairsOf(cookies).size() <= cookieLines, "each Set-Cookie line gives one pair at most");
}

bool isCookieCharacter(char c) {
    return c > ' ' && c < 0x7F && c != ';' && c != '=' && c != ',' && c != '"' && c != '\\' && c != ':';
}

// Set-Cookie lines, with and without attributes, among other header lines, for each pair of the text that has a
// plain name and value.
void checkCollectOfBuiltLines(std::string_view text) {
    std::vector<std::string> pairs;
    std::string headers = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8";
    for (const std::string& piece : pairsOf(text)) {
        std::string name;
        std::string value;
        const std::size_t equals = piece.find('=');
        for (const char c : piece.substr(0, equals))
            if (isCookieCharacter(c))
                name.push_back(c);
        if (equals != std::string::npos)
            for (const char c : piece.substr(equals + 1))
                if (isCookieCharacter(c))
                    value.push_back(c);
        if (name.empty())
            continue;
        const std::string pair = name + "=" + value;
        headers += "\r\nSet-Cookie: " + pair + (pairs.size() % 2 == 0 ? "; Path=/; HttpOnly" : "");
        headers += "\r\nset-cookie: ignored=" + value; // header names are compared with case
        pairs.push_back(pair);
    }
    headers += "\r\nContent-Length: 0\r\n";
    expect(util::collectResponseCookies(headers) == joined(pairs),
           "the pairs of the Set-Cookie lines, in their order, joined by \"; \"");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest = fuzz::inputText(data, size);
    const std::string_view oldCookies = fuzz::takeLine(rest);
    const std::string_view newCookies = fuzz::takeLine(rest);
    checkMerge(oldCookies, newCookies);
    checkMerge(newCookies, oldCookies);
    checkCollect(rest);
    checkMerge(oldCookies, util::collectResponseCookies(std::string(rest)));
    checkCollectOfBuiltLines(oldCookies);
    return 0;
}
