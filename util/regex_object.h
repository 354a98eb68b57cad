#pragma once

// One regular expression run over one subject text, keeping the matches for the questions that follow.
// Patterns use PCRE2 syntax in UTF mode: lazy quantifiers, bounded repetition, character classes, non-capturing
// groups; "^" and "$" match at line boundaries in multi-line mode, where CR, LF and CR LF all end a line. Invalid
// UTF-8 in the subject never matches a character but never fails the run either. Indices are 1-based.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace util {

/// A double quote written in a pattern or a marker as these five characters.
inline constexpr std::string_view kQuoteMarker = "#引号";

class RegexObject {
public:
    /// Runs the pattern over the subject, replacing what an earlier run kept; "#引号" stands for a double quote when
    /// `quoteMarkers` is set. True for every valid pattern, also when nothing matched; false when the pattern is
    /// invalid or running it failed (a limit was reached), after which every match query answers empty or 0.
    [[nodiscard]] bool execute(std::string_view pattern, std::string_view subject, bool caseSensitive = false,
                               bool multiline = true, bool global = true, bool quoteMarkers = false);
    /// The pattern of the last run as it was compiled (quote markers replaced), also when it was invalid; empty
    /// before the first run.
    [[nodiscard]] const std::string& getPattern() const { return pattern_; }
    /// The subject of the last run with every kept match replaced by the plain text `replacement`; empty text
    /// before the first run or after a failed one.
    [[nodiscard]] std::string replace(std::string_view replacement = {}) const;
    /// Number of matches of the last run (at most 1 unless it was global); 0 after a failed run.
    [[nodiscard]] int matchCount() const;
    /// The text of match `index`; empty out of range. `position` receives its 0-based byte offset, found by
    /// searching the subject from the match start, or -2 when that search finds nothing.
    [[nodiscard]] std::string matchText(int index, int* position = nullptr) const;
    /// The text of capture group `group` of match `match`; empty out of range and for a group that took no part in
    /// the match. `position` as for matchText.
    [[nodiscard]] std::string subMatchText(int match, int group, int* position = nullptr) const;
    /// Number of capture groups of the pattern when the last run found a match; 0 otherwise.
    [[nodiscard]] int subMatchCount() const;
    /// An independent copy holding the same matches and subject.
    [[nodiscard]] RegexObject clone() const { return *this; }

private:
    struct Span {
        std::size_t begin = 0;
        std::size_t end = 0;
        bool set = false;
    };

    [[nodiscard]] const Span* span(int match, int group) const;
    [[nodiscard]] std::string textOf(const Span* found, int* position) const;
    void reset();

    std::string pattern_;
    std::string subject_;
    bool valid_ = false;
    bool caseSensitive_ = false;
    int groupCount_ = 0;
    /// (groupCount_ + 1) spans per match: the whole match first, then each group.
    std::vector<Span> spans_;
};

} // namespace util
