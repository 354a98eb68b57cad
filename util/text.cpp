#include "util/text.h"

#include <cstddef>

namespace util {
namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A UTF-8 continuation byte never starts a character, so a match may not begin there.
bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

bool equalAt(std::string_view text, std::size_t at, std::string_view needle, bool ignoreCase) {
    if (at + needle.size() > text.size())
        return false;
    if (!ignoreCase)
        return text.compare(at, needle.size(), needle) == 0;
    for (std::size_t i = 0; i < needle.size(); ++i) {
        if (lowerAscii(text[at + i]) != lowerAscii(needle[i]))
            return false;
    }
    return true;
}

std::size_t findFrom(std::string_view text, std::string_view needle, std::size_t from, bool ignoreCase) {
    if (needle.empty() || needle.size() > text.size())
        return std::string_view::npos;
    if (!ignoreCase) {
        for (std::size_t at = text.find(needle, from); at != std::string_view::npos; at = text.find(needle, at + 1)) {
            if (!isContinuation(text[at]))
                return at;
        }
        return std::string_view::npos;
    }
    for (std::size_t at = from; at + needle.size() <= text.size(); ++at) {
        if (!isContinuation(text[at]) && equalAt(text, at, needle, true))
            return at;
    }
    return std::string_view::npos;
}

bool spaceAt(std::string_view text, std::size_t at, std::size_t& width) {
    if (text[at] == ' ') {
        width = 1;
        return true;
    }
    if (text.substr(at, kFullWidthSpace.size()) == kFullWidthSpace) {
        width = kFullWidthSpace.size();
        return true;
    }
    return false;
}

} // namespace

int findText(std::string_view text, std::string_view needle, int start, bool ignoreCase) {
    const std::size_t from = start > 1 ? static_cast<std::size_t>(start - 1) : 0;
    if (from >= text.size())
        return -1;
    const std::size_t at = findFrom(text, needle, from, ignoreCase);
    return at == std::string_view::npos ? -1 : static_cast<int>(at + 1);
}

bool textContains(std::string_view text, std::string_view needle, int start, bool caseSensitive) {
    if (text.empty())
        return false;
    if (needle.empty())
        return true;
    return findText(text, needle, start, !caseSensitive) != -1;
}

std::vector<std::string> splitText(std::string_view text, std::string_view separator) {
    std::vector<std::string> pieces;
    if (text.empty())
        return pieces;
    if (separator.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t at = text.find(separator, begin);
        if (at == std::string_view::npos) {
            pieces.emplace_back(text.substr(begin));
            break;
        }
        pieces.emplace_back(text.substr(begin, at - begin));
        begin = at + separator.size();
    }
    return pieces;
}

std::string joinText(const std::vector<std::string>& pieces, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            out.append(separator);
        out.append(pieces[i]);
    }
    return out;
}

std::string replaceText(std::string_view text, std::string_view from, std::string_view to, bool ignoreCase,
                        int count) {
    if (from.empty())
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t begin = 0;
    int done = 0;
    while (count <= 0 || done < count) {
        const std::size_t at = findFrom(text, from, begin, ignoreCase);
        if (at == std::string_view::npos)
            break;
        out.append(text.substr(begin, at - begin));
        out.append(to);
        begin = at + from.size();
        ++done;
    }
    out.append(text.substr(begin));
    return out;
}

std::string removeSpaces(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::size_t width = 0;
        if (spaceAt(text, at, width)) {
            at += width;
            continue;
        }
        out.push_back(text[at++]);
    }
    return out;
}

std::string trimSpaces(std::string_view text) {
    std::size_t begin = 0;
    std::size_t width = 0;
    while (begin < text.size() && spaceAt(text, begin, width))
        begin += width;
    std::size_t end = text.size();
    while (end > begin) {
        if (text[end - 1] == ' ') {
            --end;
        } else if (end - begin >= kFullWidthSpace.size() &&
                   text.substr(end - kFullWidthSpace.size(), kFullWidthSpace.size()) == kFullWidthSpace) {
            end -= kFullWidthSpace.size();
        } else {
            break;
        }
    }
    return std::string(text.substr(begin, end - begin));
}

int textToInt(std::string_view text) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
        negative = text[at] == '-';
        ++at;
    }
    long long value = 0;
    bool any = false;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        any = true;
        if (value < 10'000'000'000LL)
            value = value * 10 + (text[at] - '0');
    }
    if (!any)
        return 0;
    if (negative)
        value = -value;
    if (value > 2147483647LL)
        return 2147483647;
    if (value < -2147483648LL)
        return -2147483647 - 1;
    return static_cast<int>(value);
}

std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

} // namespace util
