#include "util/regex_object.h"

#include "util/text.h"

#include <cstdint>
#include <memory>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

namespace util {
namespace {

// Bounds for one run: backtracking steps, nesting depth and heap of the interpreter, and the JIT's own stack, so
// that a pathological pattern over a big page fails the run instead of exhausting the machine.
constexpr std::uint32_t kMatchLimit = 10'000'000;
constexpr std::uint32_t kDepthLimit = 1'000'000;
constexpr std::uint32_t kHeapLimitKib = 128 * 1024;
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 8 * 1024 * 1024;

struct CompileContextFree {
    void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
struct CodeFree {
    void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct MatchContextFree {
    void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
struct JitStackFree {
    void operator()(pcre2_jit_stack* p) const { pcre2_jit_stack_free(p); }
};

// The start of the next character after `at`: an empty match must not be found again at the same place, and a
// search never starts inside a multi-byte character.
std::size_t nextCharacter(std::string_view subject, std::size_t at) {
    ++at;
    while (at < subject.size() && (static_cast<unsigned char>(subject[at]) & 0xC0) == 0x80)
        ++at;
    return at;
}

} // namespace

void RegexObject::reset() {
    pattern_.clear();
    subject_.clear();
    valid_ = false;
    groupCount_ = 0;
    spans_.clear();
}

bool RegexObject::execute(std::string_view pattern, std::string_view subject, bool caseSensitive, bool multiline,
                          bool global, bool quoteMarkers) {
    reset();
    pattern_ = quoteMarkers ? replaceText(pattern, kQuoteMarker, "\"") : std::string(pattern);
    subject_ = std::string(subject);
    caseSensitive_ = caseSensitive;

    std::unique_ptr<pcre2_compile_context, CompileContextFree> compileContext(pcre2_compile_context_create(nullptr));
    if (!compileContext)
        return false;
    pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_ANYCRLF);

    std::uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    if (!caseSensitive)
        options |= PCRE2_CASELESS;
    // As in script engines: "^" also matches after a final line break, and without multi-line "$" matches only
    // at the very end.
    options |= multiline ? (PCRE2_MULTILINE | PCRE2_ALT_CIRCUMFLEX) : PCRE2_DOLLAR_ENDONLY;

    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    std::unique_ptr<pcre2_code, CodeFree> code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern_.data()),
                                                             pattern_.size(), options, &errorCode, &errorOffset,
                                                             compileContext.get()));
    if (!code)
        return false;
    const bool jit = pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE) == 0;

    std::unique_ptr<pcre2_match_context, MatchContextFree> matchContext(pcre2_match_context_create(nullptr));
    std::unique_ptr<pcre2_match_data, MatchDataFree> matchData(
        pcre2_match_data_create_from_pattern(code.get(), nullptr));
    if (!matchContext || !matchData)
        return false;
    pcre2_set_match_limit(matchContext.get(), kMatchLimit);
    pcre2_set_depth_limit(matchContext.get(), kDepthLimit);
    pcre2_set_heap_limit(matchContext.get(), kHeapLimitKib);
    std::unique_ptr<pcre2_jit_stack, JitStackFree> jitStack;
    if (jit) {
        jitStack.reset(pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
        if (!jitStack)
            return false;
        pcre2_jit_stack_assign(matchContext.get(), nullptr, jitStack.get());
    }

    std::uint32_t captures = 0;
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
    const auto groups = static_cast<std::size_t>(captures);
    const auto* data = reinterpret_cast<PCRE2_SPTR>(subject_.data());

    std::size_t start = 0;
    while (start <= subject_.size()) {
        const int rc = pcre2_match(code.get(), data, subject_.size(), start, 0, matchData.get(), matchContext.get());
        if (rc == PCRE2_ERROR_NOMATCH)
            break;
        if (rc < 0) {
            spans_.clear();
            return false;
        }
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.get());
        for (std::size_t group = 0; group <= groups; ++group) {
            Span spanOfGroup;
            if (ovector[2 * group] != PCRE2_UNSET)
                spanOfGroup = {ovector[2 * group], ovector[2 * group + 1], true};
            spans_.push_back(spanOfGroup);
        }
        if (!global)
            break;
        // Like a script engine's global search: after an empty match the next search begins one character on.
        std::size_t next = ovector[1];
        if (next <= ovector[0] || next <= start)
            next = nextCharacter(subject_, next > start ? next : start);
        start = next;
    }

    valid_ = true;
    groupCount_ = static_cast<int>(groups);
    return true;
}

std::string RegexObject::replace(std::string_view replacement) const {
    if (!valid_)
        return {};
    std::string out;
    out.reserve(subject_.size());
    std::size_t copied = 0;
    const std::size_t stride = static_cast<std::size_t>(groupCount_) + 1;
    for (std::size_t at = 0; at < spans_.size(); at += stride) {
        const Span& whole = spans_[at];
        if (whole.begin < copied)
            continue;
        out.append(subject_, copied, whole.begin - copied);
        out.append(replacement);
        copied = whole.end > whole.begin ? whole.end : whole.begin;
    }
    out.append(subject_, copied, std::string::npos);
    return out;
}

int RegexObject::matchCount() const {
    return static_cast<int>(spans_.size() / (static_cast<std::size_t>(groupCount_) + 1));
}

const RegexObject::Span* RegexObject::span(int match, int group) const {
    if (match < 1 || match > matchCount() || group < 0 || group > groupCount_)
        return nullptr;
    const std::size_t stride = static_cast<std::size_t>(groupCount_) + 1;
    return &spans_[static_cast<std::size_t>(match - 1) * stride + static_cast<std::size_t>(group)];
}

std::string RegexObject::textOf(const Span* found, int* position) const {
    std::string text;
    if (found != nullptr && found->set && found->end >= found->begin)
        text = subject_.substr(found->begin, found->end - found->begin);
    if (position != nullptr) {
        *position = -2;
        if (found != nullptr) {
            // The group's own span is not reported: the offset is where its text is first found from the match on.
            const std::size_t from = found - spans_.data();
            const std::size_t stride = static_cast<std::size_t>(groupCount_) + 1;
            const Span& whole = spans_[from - from % stride];
            *position = findText(subject_, text, static_cast<int>(whole.begin) + 1, !caseSensitive_) - 1;
        }
    }
    return text;
}

std::string RegexObject::matchText(int index, int* position) const {
    return textOf(span(index, 0), position);
}

std::string RegexObject::subMatchText(int match, int group, int* position) const {
    if (group < 1)
        return textOf(nullptr, position);
    return textOf(span(match, group), position);
}

int RegexObject::subMatchCount() const {
    return matchCount() > 0 ? groupCount_ : 0;
}

} // namespace util
