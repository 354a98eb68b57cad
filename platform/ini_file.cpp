// Settings files with the behaviour of the private-profile functions: names compared without letter case, values
// trimmed and unquoted on read, every other line kept byte for byte on write.

#include "platform/system.h"

#include <mutex>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

struct Line {
    std::string_view text;      ///< without its line break
    std::string_view lineBreak; ///< "\n", "\r\n" or empty (at the end of the content) on the last line
};

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;      ///< section or key name, trimmed
    std::string_view value;     ///< key value, trimmed
    std::size_t valueStart = 0; ///< where the value begins inside the line text
};

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::vector<Line> splitLines(std::string_view content) {
    std::vector<Line> lines;
    while (!content.empty()) {
        const std::size_t end = content.find('\n');
        if (end == std::string_view::npos) {
            lines.push_back({content, content.substr(content.size())});
            break;
        }
        std::size_t textEnd = end;
        if (textEnd > 0 && content[textEnd - 1] == '\r')
            --textEnd;
        lines.push_back({content.substr(0, textEnd), content.substr(textEnd, end + 1 - textEnd)});
        content.remove_prefix(end + 1);
    }
    return lines;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

ParsedLine parseLine(std::string_view text) {
    ParsedLine parsed;
    const std::string_view trimmed = trim(text);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#')
        return parsed;
    if (trimmed.front() == '[') {
        const std::size_t close = trimmed.rfind(']');
        if (close != std::string_view::npos) {
            parsed.kind = LineKind::Section;
            parsed.name = trim(trimmed.substr(1, close - 1));
        }
        return parsed;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return parsed;
    parsed.name = trim(text.substr(0, equals));
    if (parsed.name.empty())
        return parsed;
    parsed.kind = LineKind::Key;
    std::size_t valueStart = equals + 1;
    while (valueStart < text.size() && isBlank(text[valueStart]))
        ++valueStart;
    parsed.valueStart = valueStart;
    parsed.value = trim(text.substr(valueStart));
    return parsed;
}

/// The line's text for parsing: the byte-order mark of the first line is not part of it.
std::string_view parseableText(const std::vector<Line>& lines, std::size_t index) {
    std::string_view text = lines[index].text;
    if (index == 0 && text.starts_with(kUtf8Mark))
        text.remove_prefix(kUtf8Mark.size());
    return text;
}

std::string unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

/// The first kIniValueLimit bytes; the cut steps back to the start of a UTF-8 character rather than split one.
std::string limitValue(std::string value) {
    if (value.size() <= kIniValueLimit)
        return value;
    std::size_t cut = kIniValueLimit;
    for (int step = 0; step < 3 && cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80; ++step)
        --cut;
    if ((static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80)
        cut = kIniValueLimit; // Not UTF-8 after all: plain byte count.
    value.resize(cut);
    return value;
}

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

std::mutex& writeLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

std::string iniRead(const std::string& file, const std::string& section, const std::string& key,
                    const std::optional<std::string>& defaultValue) {
    const std::string fallback = defaultValue ? limitValue(*defaultValue) : std::string();
    const std::string_view wantedSection = trim(section);
    const std::string_view wantedKey = trim(key);
    if (wantedSection.empty() || wantedKey.empty())
        return fallback;
    const std::string content = readTextFile(file);
    const std::vector<Line> lines = splitLines(content);
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = parseLine(parseableText(lines, i));
        if (parsed.kind == LineKind::Section)
            inSection = sameName(parsed.name, wantedSection);
        else if (inSection && parsed.kind == LineKind::Key && sameName(parsed.name, wantedKey))
            return limitValue(unquote(parsed.value));
    }
    return fallback;
}

bool iniWrite(const std::string& file, const std::string& section, const std::string& key, const std::string& value) {
    const std::string_view wantedSection = trim(section);
    const std::string_view wantedKey = trim(key);
    // Names and values that the file could not hold as one line of their own are refused instead of written as
    // lines that would read back as something else.
    if (file.empty() || wantedSection.empty() || wantedKey.empty() || hasLineBreak(section) || hasLineBreak(key) ||
        hasLineBreak(value) || wantedSection.find(']') != std::string_view::npos ||
        wantedKey.find('=') != std::string_view::npos || wantedKey.front() == '[' || wantedKey.front() == ';' ||
        wantedKey.front() == '#')
        return false;

    std::lock_guard guard(writeLock());
    const std::string content = readTextFile(file);
    // An unreadable file must not be replaced by one holding only this key.
    if (content.empty() && fileExists(file) && ::access(file.c_str(), R_OK) != 0)
        return false;
    const std::vector<Line> lines = splitLines(content);

    bool inSection = false;
    bool inFirstSection = false;
    std::size_t sectionEnd = std::string::npos; // the last non-blank line of the first matching section
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = parseLine(parseableText(lines, i));
        if (parsed.kind == LineKind::Section) {
            inSection = sameName(parsed.name, wantedSection);
            inFirstSection = inSection && sectionEnd == std::string::npos;
            if (inFirstSection)
                sectionEnd = i;
            continue;
        }
        if (!inSection)
            continue;
        if (parsed.kind == LineKind::Key && sameName(parsed.name, wantedKey)) {
            // The key keeps its place, its spelling and its line break; only the value changes.
            const std::string_view text = lines[i].text;
            const std::size_t offset = static_cast<std::size_t>(parseableText(lines, i).data() - text.data());
            std::string updated;
            updated.reserve(content.size() + value.size());
            updated.append(content, 0, static_cast<std::size_t>(text.data() - content.data()));
            updated.append(text.substr(0, offset + parsed.valueStart));
            updated.append(value);
            const std::size_t rest = static_cast<std::size_t>(lines[i].lineBreak.data() - content.data());
            updated.append(content, rest);
            // A key that already holds the value is left alone: closing the window writes three keys, which would
            // otherwise rewrite the file three times for nothing.
            return updated == content || replaceFileAtomically(file, updated);
        }
        // A new key goes after the section's last line that is not blank; only the first such section grows.
        if (inFirstSection && !trim(lines[i].text).empty())
            sectionEnd = i;
    }

    const std::string newLine = std::string(wantedKey) + "=" + value + "\n";
    std::string updated;
    if (sectionEnd == std::string::npos) {
        updated = content;
        if (!updated.empty() && updated.back() != '\n')
            updated += '\n';
        updated += "[" + std::string(wantedSection) + "]\n" + newLine;
    } else {
        const Line& last = lines[sectionEnd];
        const std::size_t insertAt =
            static_cast<std::size_t>(last.lineBreak.data() - content.data()) + last.lineBreak.size();
        updated.reserve(content.size() + newLine.size() + 1);
        updated.append(content, 0, insertAt);
        if (last.lineBreak.empty())
            updated += '\n';
        updated += newLine;
        updated.append(content, insertAt);
    }
    return replaceFileAtomically(file, updated);
}

} // namespace platform
