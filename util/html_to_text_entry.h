#pragma once

// The entry point of the HTML-to-text module. html_to_text_module.cpp is built as a shared object that the program
// file carries inside it; html_to_text.cpp loads it on the first page and hands every page to this entry.

#include <cstddef>
#include <string>

namespace util {

/// The entry's symbol name in the module.
inline constexpr char kHtmlToTextEntry[] = "corvana_html_to_text";
/// The entry's type: the text of a whole UTF-8 HTML document into text.
using HtmlToTextEntry = void (*)(const char* document, std::size_t size, std::string* text) noexcept;

} // namespace util

/// Writes the text of the UTF-8 HTML document into *text, which the caller passes empty; never throws. A document
/// that cannot be parsed leaves *text empty.
extern "C" __attribute__((visibility("default"))) void corvana_html_to_text(const char* document, std::size_t size,
                                                                            std::string* text) noexcept;
