#pragma once

// Mirror links: every line of the download window's input becomes "https://<mirror host>/<line as entered>".

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {
class Window;
}

namespace download {

/// One input line and its link through the chosen mirror.
struct MirrorLine {
    std::string line;
    std::string mirrorLink;
};

/// Name of mirror n's radio button (1 to 5).
[[nodiscard]] std::string mirrorRadioName(int mirror);

/// "https://" + host of mirror n (1 to 5) + "/"; empty text for any other number.
[[nodiscard]] std::string mirrorPrefix(int mirror);

/// The lines of the input with their mirror links, in input order. No answer when the input is blank (nothing but
/// ASCII and full-width spaces); line breaks alone are not blank and give an empty list. Blank lines are dropped,
/// the lines themselves are kept as they are, spaces included.
[[nodiscard]] std::optional<std::vector<MirrorLine>> buildMirrorLinks(std::string input, int mirror);

/// The same for the download window: its input box and the selected radio button (mirror 1 when none is).
[[nodiscard]] std::optional<std::vector<MirrorLine>> buildMirrorLinks(const ui::Window& window);

/// "粘贴": the clipboard's text replaces the input box; an empty clipboard changes nothing.
void pasteLinks(ui::Window& window);

/// "链接": puts the mirror links, joined by CR LF, on the clipboard and shows them in a message box owned by the
/// window. Blank input does nothing.
void copyMirrorLinks(ui::Window& window);

} // namespace download
