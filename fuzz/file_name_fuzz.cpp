// fileNameFromLink and isSaveableName on any link: the name is the link's last component, and a name judged
// saveable stays inside the save folder.
//
// Input: the link.

#include "download/file_download.h"
#include "fuzz/fuzz_support.h"

#include <string>
#include <string_view>

namespace {

using fuzz::expect;

bool isSeparator(char c) {
    return c == '\\' || c == '/' || c == ':';
}

// True when a separator at `at` starts the component after it.
bool startsComponent(std::string_view text, std::size_t at) {
    return at + 1 < text.size() && isSeparator(text[at]) && text[at + 1] != '\\' && text[at + 1] != '/';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view link = fuzz::inputText(data, size);
    const std::string name = download::fileNameFromLink(link);

    expect(name.empty() == (link.empty() || link.back() == '\\'),
           "the name is empty only for an empty link or a last component ending in \\");
    if (!name.empty()) {
        expect(link.ends_with(name), "the name is a suffix of the link");
        const std::size_t begin = link.size() - name.size();
        expect(begin == 0 || startsComponent(link, begin - 1), "the name begins after a separator or at the start");
        for (std::size_t at = 0; at < name.size(); ++at)
            expect(!startsComponent(name, at), "the name holds no further component");
    }

    if (download::isSaveableName(name)) {
        expect(name != "." && name != ".." && name.find('/') == std::string::npos,
               "a saveable name stays in the folder");
        expect(download::fileNameFromLink(name) == name, "a saveable name is its own file name");
    }
    return 0;
}
