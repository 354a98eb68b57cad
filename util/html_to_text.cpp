// The program's side of HTML to text: the libxml2 module is loaded on the first page, once per process. Runs that
// read no page (a clearing, an acceleration) never map libxml2 or ICU.

#include "util/html_to_text.h"

#include "platform/embedded_module.h"
#include "util/code_pages.h"
#include "util/html_to_text_entry.h"

// The module's bytes, compiled in by corvana_embed_module().
extern "C" __attribute__((visibility("hidden"))) const unsigned char corvana_module_html_to_text[];
extern "C" __attribute__((visibility("hidden"))) const unsigned char corvana_module_html_to_text_end[];

namespace util {
namespace {

HtmlToTextEntry entry() {
    static const auto loaded = reinterpret_cast<HtmlToTextEntry>(platform::loadModuleEntry(
        platform::embeddedModule("corvana-html-to-text", corvana_module_html_to_text, corvana_module_html_to_text_end),
        kHtmlToTextEntry, false));
    return loaded;
}

} // namespace

std::string htmlToText(std::string_view html) {
    try {
        const HtmlToTextEntry convert = entry();
        if (convert == nullptr)
            return {};
        // libxml2 switches to Latin-1 on a byte that is not UTF-8, so such bytes are replaced first.
        const std::string document = "<html><body>" + utf8ToText(html) + "</body></html>";
        std::string text;
        convert(document.data(), document.size(), &text);
        return text;
    } catch (...) {
        return {};
    }
}

} // namespace util
