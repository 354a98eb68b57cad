#include "util/text_utilities.h"

#include "util/regex_object.h"
#include "util/text.h"

namespace util {

std::string removeBlankLines(std::string& text) {
    if (text.starts_with(kCrLf))
        text.erase(0, kCrLf.size());
    if (text.ends_with(kCrLf))
        text.erase(text.size() - kCrLf.size());
    RegexObject regex;
    if (!regex.execute("(?:^\r|\n$)", text))
        return {};
    return regex.replace();
}

std::string textBetween(std::string_view text, std::string_view left, std::string_view right, int start,
                        bool ignoreCase) {
    const std::string leftMarker = replaceText(left, kQuoteMarker, "\"");
    const std::string rightMarker = replaceText(right, kQuoteMarker, "\"");
    const int found = findText(text, leftMarker, start > 0 ? start : 1, ignoreCase);
    if (found == -1)
        return {};
    const int after = found + static_cast<int>(leftMarker.size());
    const int end = findText(text, rightMarker, after, ignoreCase);
    if (end == -1)
        return {};
    return std::string(text.substr(static_cast<std::size_t>(after - 1), static_cast<std::size_t>(end - after)));
}

int indexOfText(const std::vector<std::string>& list, std::string_view text) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == text)
            return static_cast<int>(i + 1);
    }
    return -1;
}

} // namespace util
