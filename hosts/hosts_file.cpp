#include "hosts/hosts_file.h"

#include "platform/system.h"
#include "util/process_values.h"
#include "util/text.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace hosts {
namespace {

constexpr std::size_t kNotFound = std::string_view::npos;

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// A UTF-8 continuation byte never starts a character, so a match may not begin there.
bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

// The case-insensitive search of the text rules, jumping between occurrences of the needle's first byte (memchr)
// so that a search over a hosts file of many megabytes stays cheap.
std::size_t findIgnoringCase(std::string_view text, std::string_view needle, std::size_t from) {
    if (needle.empty() || needle.size() > text.size())
        return kNotFound;
    const std::size_t last = text.size() - needle.size();
    const char lower = lowerAscii(needle.front());
    const char upper = upperAscii(needle.front());
    // The next occurrence of each case of the first byte, each searched again only once it has been passed.
    std::size_t nextLower = text.find(lower, from);
    std::size_t nextUpper = upper == lower ? kNotFound : text.find(upper, from);
    while (true) {
        const std::size_t at = std::min(nextLower, nextUpper);
        if (at == kNotFound || at > last)
            return kNotFound;
        if (!isContinuation(text[at]) && equalIgnoringCase(text.substr(at, needle.size()), needle))
            return at;
        if (nextLower == at)
            nextLower = text.find(lower, at + 1);
        if (nextUpper == at)
            nextUpper = text.find(upper, at + 1);
    }
}

// The exact-case search of the text rules: never a match that begins inside a multi-byte character.
std::size_t findExact(std::string_view text, std::string_view needle, std::size_t from) {
    if (needle.empty())
        return kNotFound;
    for (std::size_t at = text.find(needle, from); at != kNotFound; at = text.find(needle, at + 1)) {
        if (!isContinuation(text[at]))
            return at;
    }
    return kNotFound;
}

bool containsIgnoringCase(std::string_view text, std::string_view needle) {
    return findIgnoringCase(text, needle, 0) != kNotFound;
}

bool isLineBreakByte(char c) {
    return c == '\n' || c == '\r';
}

// Cuts each span from a start marker through the next end marker, start markers taken from the last to the first;
// with `withLineBreakAhead`, the line break just ahead of a span goes with it when the span ends its line.
std::string cutSpans(std::string text, std::string_view startMarker, std::string_view endMarker,
                     bool withLineBreakAhead) {
    std::vector<std::size_t> starts;
    for (std::size_t at = findIgnoringCase(text, startMarker, 0); at != kNotFound;
         at = findIgnoringCase(text, startMarker, at + startMarker.size()))
        starts.push_back(at);
    // The cuts are made in the text's own buffer, which is handed back: a block at the end of a large file costs no
    // copy at all. Every cut begins at or after the start marker being handled, so the earlier positions stay valid.
    for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
        const std::size_t endAt = findExact(text, endMarker, *it + startMarker.size());
        if (endAt == kNotFound)
            continue;
        std::size_t first = *it;
        const std::size_t afterSpan = endAt + endMarker.size();
        std::size_t last = afterSpan;
        const bool endsLine = afterSpan == text.size() || isLineBreakByte(text[afterSpan]);
        if (withLineBreakAhead && endsLine && first > 0 && text[first - 1] == '\n') {
            --first;
            if (first > 0 && text[first - 1] == '\r')
                --first;
            // A downloaded list brings its own line break after its end marker. At the end of the file it goes
            // with the block, or every run followed by a clearing would leave one more empty line behind.
            const std::string_view tail = std::string_view(text).substr(afterSpan);
            if (tail == "\n" || tail == "\r\n")
                last = text.size();
        }
        text.erase(first, last - first);
    }
    return text;
}

// One log line of a command's output: the program's CR LF between its lines, no trailing line break.
std::string outputLogLine(std::string_view output) {
    std::string line = util::replaceText(util::replaceText(output, "\r\n", "\n"), "\n", "\r\n");
    while (!line.empty() && isLineBreakByte(line.back()))
        line.pop_back();
    return line;
}

} // namespace

std::string hostsFilePath() {
    return platform::hostsFilePath();
}

std::string readUtf8TextFile(const std::string& path) {
    return platform::readTextFile(path);
}

bool hasManagedBlock(std::string_view text) {
    return containsIgnoringCase(text, kBlockStartMarker) && containsIgnoringCase(text, kBlockEndMarker);
}

std::string removeMarkedSpans(std::string_view text, std::string_view startMarker, std::string_view endMarker) {
    return cutSpans(std::string(text), startMarker, endMarker, false);
}

std::string cutManagedBlocks(std::string text) {
    return cutSpans(std::move(text), kBlockStartMarker, kBlockEndMarker, true);
}

std::string appendBlock(std::string hostsText, std::string_view blockFileText) {
    hostsText.reserve(hostsText.size() + 1 + blockFileText.size());
    hostsText.append("\n").append(blockFileText);
    return hostsText;
}

std::string toFileLineBreaks(std::string_view text) {
    return util::replaceText(text, "\r\n", "\n");
}

bool writeHostsText(std::string_view text) {
    return platform::replaceFileAtomically(hostsFilePath(), text);
}

std::string fallbackFilePath() {
    return platform::temporaryFolder() + std::string(kFallbackFileName);
}

std::string fallbackFileText(std::string_view blockFileText) {
    return util::replaceText(toFileLineBreaks(kFallbackTemplate), kFallbackPlaceholder, blockFileText);
}

void showFallbackText(std::string_view blockFileText) {
    const std::string path = fallbackFilePath();
    // The user is shown the file either way; a failed write leaves nothing more to do.
    (void)platform::writeFile(path, fallbackFileText(blockFileText));
    if (util::isHeadless()) {
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
        return;
    }
    platform::shellOpen(path);
}

void flushResolverCache() {
    util::appendLog("Refresh DNS...");
    // The Linux commands report failures on standard error; they are logged with the rest of the output.
    std::string output;
    if (!platform::findProgram("resolvectl").empty())
        output = platform::runConsoleProgram("resolvectl flush-caches 2>&1");
    else if (!platform::findProgram("nscd").empty())
        output = platform::runConsoleProgram("nscd -i hosts 2>&1");
    util::appendLog(outputLogLine(output));
}

} // namespace hosts
