// The settings file: iniWrite on any file content, then iniRead of the same key, on a real file in a temporary
// folder (in memory when /dev/shm is there, so that each run stays cheap).
//
// Input: a section line, a key line, a value line, then the file's content. A value ending in "*" is repeated
// beyond the length a read answers.

#include "fuzz/fuzz_support.h"
#include "platform/system.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

using fuzz::expect;

const std::string& settingsFile() {
    static const std::string path = [] {
        std::string folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : platform::temporaryFolder();
        std::string pattern = folder + "corvana-ini-fuzz-XXXXXX";
        expect(::mkdtemp(pattern.data()) != nullptr, "a temporary folder can be made");
        static const std::string made = pattern;
        std::atexit([] {
            (void)platform::deleteFile(made + "/settings.ini");
            ::rmdir(made.c_str());
        });
        return pattern + "/settings.ini";
    }();
    return path;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool holdsLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// The names and values one line of the file cannot hold.
bool refused(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view name = trimmed(section);
    const std::string_view keyName = trimmed(key);
    return name.empty() || keyName.empty() || holdsLineBreak(section) || holdsLineBreak(key) || holdsLineBreak(value) ||
           name.find(']') != std::string_view::npos || keyName.find('=') != std::string_view::npos ||
           keyName.front() == '[' || keyName.front() == ';' || keyName.front() == '#';
}

// What a read answers for a stored value: trimmed and unquoted.
std::string_view readForm(std::string_view value) {
    value = trimmed(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

// Every line of the old content but the key's own is still there byte for byte: what changed lies inside one line.
bool onlyOneLineChanged(std::string_view before, std::string_view after) {
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    return before.substr(prefix, before.size() - prefix - suffix).find('\n') == std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest = fuzz::inputText(data, size);
    const std::string section(fuzz::takeLine(rest));
    const std::string key(fuzz::takeLine(rest));
    std::string value(fuzz::takeLine(rest));
    if (value.ends_with('*')) {
        const std::string unit = value;
        while (value.size() <= platform::kIniValueLimit + 8)
            value += unit;
    }
    const std::string content(rest);
    const std::string& file = settingsFile();
    expect(platform::writeFile(file, content), "the settings file can be written");

    const bool written = platform::iniWrite(file, section, key, value);
    const std::string after = platform::readTextFile(file);
    if (refused(section, key, value)) {
        expect(!written, "names and values that one line cannot hold are refused");
        expect(after == content, "a refused write leaves the file alone");
        return 0;
    }
    expect(written, "a write into a writable file succeeds");
    expect(onlyOneLineChanged(content, after), "a write keeps every other line byte for byte");

    const std::string read = platform::iniRead(file, section, key);
    const std::string_view expected = readForm(value);
    if (expected.size() <= platform::kIniValueLimit) {
        expect(read == expected, "after a write, a read of the same key answers the value");
    } else {
        expect(read.size() <= platform::kIniValueLimit && read.size() + 3 >= platform::kIniValueLimit &&
                   expected.starts_with(read),
               "a read answers the first kIniValueLimit bytes of a longer value");
    }
    expect(platform::iniRead(file, section, key, "default") == read, "a stored key never reads as the default");

    // Written again, the file holds the same bytes (a value with leading blanks gains them anew each time).
    if (!value.empty() && isBlank(value.front()))
        return 0;
    expect(platform::iniWrite(file, section, key, value), "a second write succeeds");
    expect(platform::readTextFile(file) == after, "writing the same value again changes nothing");
    return 0;
}
