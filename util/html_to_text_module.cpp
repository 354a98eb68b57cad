// HTML to text on libxml2, a module of its own that the program file carries inside it (see html_to_text_entry.h):
// libxml2 and the ICU libraries under it are mapped only by runs that read an HTML page.

#include "util/html_to_text_entry.h"
#include "util/text.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

namespace util {
namespace {

constexpr int kParseOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                              HTML_PARSE_NODEFDTD | HTML_PARSE_IGNORE_ENC;

constexpr std::array kBlockElements = {
    "address", "article", "aside", "blockquote", "body", "caption",  "center",     "dd",     "details",
    "dialog",  "dir",     "div",   "dl",         "dt",   "fieldset", "figcaption", "figure", "footer",
    "form",    "h1",      "h2",    "h3",         "h4",   "h5",       "h6",         "header", "hgroup",
    "hr",      "legend",  "li",    "main",       "menu", "nav",      "ol",         "p",      "pre",
    "section", "summary", "table", "tr",         "ul",   "listing",  "plaintext",  "xmp"};
constexpr std::array kHiddenElements = {"head", "script", "style", "template", "title", "noscript"};
constexpr std::array kPreformattedElements = {"pre", "listing", "plaintext", "xmp"};

template <std::size_t N> bool isOneOf(const xmlChar* name, const std::array<const char*, N>& names) {
    if (name == nullptr)
        return false;
    const std::string_view text(reinterpret_cast<const char*>(name));
    for (const char* candidate : names) {
        if (text == candidate)
            return true;
    }
    return false;
}

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

// Collects text the way a browser lays it out: breaks and separators wait until the next visible character, so
// the answer neither begins nor ends with one and runs of them collapse.
class TextWriter {
public:
    void text(std::string_view content, bool preformatted) {
        for (std::size_t at = 0; at < content.size(); ++at) {
            const char c = content[at];
            if (preformatted) {
                if (c == '\r' && at + 1 < content.size() && content[at + 1] == '\n')
                    continue;
                if (c == '\r' || c == '\n') {
                    lineBreak();
                    continue;
                }
                visible(std::string_view(&c, 1));
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                if (separator_ == 0 && !atLineStart())
                    separator_ = ' ';
                continue;
            }
            // A no-break space shows as a space that does not collapse.
            if (c == '\xC2' && at + 1 < content.size() && content[at + 1] == '\xA0') {
                ++at;
                visible(" ");
                continue;
            }
            visible(std::string_view(&c, 1));
        }
    }
    void block() {
        if (!out_.empty())
            breaks_ = std::max(breaks_, 1);
        separator_ = 0;
    }
    void cell() {
        if (!atLineStart())
            separator_ = '\t';
    }
    void lineBreak() {
        if (!out_.empty())
            ++breaks_;
        separator_ = 0;
    }
    [[nodiscard]] std::string take() { return std::move(out_); }

private:
    [[nodiscard]] bool atLineStart() const { return out_.empty() || breaks_ > 0; }
    void visible(std::string_view c) {
        if (breaks_ > 0) {
            for (; breaks_ > 0; --breaks_)
                out_.append(kCrLf);
        } else if (separator_ != 0) {
            out_.push_back(separator_);
        }
        separator_ = 0;
        out_.append(c);
    }

    std::string out_;
    int breaks_ = 0;
    char separator_ = 0;
};

void writeTree(xmlNode* root, TextWriter& writer) {
    struct Frame {
        xmlNode* node;
        bool leaving;
    };
    std::vector<Frame> stack{{root, false}};
    int preformatted = 0;
    while (!stack.empty()) {
        const Frame frame = stack.back();
        stack.pop_back();
        xmlNode* node = frame.node;
        if (frame.leaving) {
            if (isOneOf(node->name, kPreformattedElements))
                --preformatted;
            writer.block();
            continue;
        }
        switch (node->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            if (node->content != nullptr)
                writer.text(reinterpret_cast<const char*>(node->content), preformatted > 0);
            continue;
        case XML_ELEMENT_NODE:
            break;
        default:
            continue;
        }
        if (isOneOf(node->name, kHiddenElements))
            continue;
        const std::string_view name(reinterpret_cast<const char*>(node->name));
        if (name == "br") {
            writer.lineBreak();
            continue;
        }
        if (name == "td" || name == "th")
            writer.cell();
        if (isOneOf(node->name, kBlockElements)) {
            writer.block();
            if (isOneOf(node->name, kPreformattedElements))
                ++preformatted;
            stack.push_back({node, true});
        }
        std::vector<xmlNode*> children;
        for (xmlNode* child = node->children; child != nullptr; child = child->next)
            children.push_back(child);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back({*it, false});
    }
}

} // namespace
} // namespace util

void corvana_html_to_text(const char* document, std::size_t size, std::string* text) noexcept {
    try {
        static std::once_flag initialised;
        std::call_once(initialised, [] { xmlInitParser(); });
        if (size > static_cast<std::size_t>(std::numeric_limits<int>::max()))
            return;
        std::unique_ptr<xmlDoc, util::DocFree> doc(
            htmlReadMemory(document, static_cast<int>(size), nullptr, "UTF-8", util::kParseOptions));
        if (!doc)
            return;
        xmlNode* root = xmlDocGetRootElement(doc.get());
        if (root == nullptr)
            return;
        util::TextWriter writer;
        util::writeTree(root, writer);
        *text = writer.take();
    } catch (...) {
        text->clear();
    }
}
