#pragma once

// Layout tables: a window and its controls as the windows' control tables give them. Realizers build widgets from
// these; the window model keeps the controls' live properties. Names are the controls' own (UTF-8).

#include <string>
#include <vector>

namespace ui {

/// The face every window asks for; realizers fall back to a CJK sans face that is installed.
inline constexpr const char* kWindowFontFace = "微软雅黑";

enum class ControlKind {
    PictureBox,
    Hyperlink,
    Label,
    EditBox,
    ProgressBar,
    GroupBox,
    RadioButton,
    CheckBox,
    ReportList
};

/// A font of the window face.
struct FontSpec {
    int pixels = 12;
    bool bold = false;
};

/// One column of a report list.
struct ColumnSpec {
    std::string heading;
    int width = 0;
};

/// One control: kind, name, parent (empty: the window), position relative to the parent, size, font, initial text.
struct ControlSpec {
    ControlKind kind = ControlKind::Label;
    std::string name;
    std::string parent;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    FontSpec font;
    std::string text;
    bool multiline = false;
    bool readOnly = false;
    bool horizontalScroll = false;
    bool verticalScroll = false;
    bool centered = false;
    bool integerOnly = false;
    bool checked = false;
    /// Resource name of the picture a picture box shows at first; empty for a plain rule.
    std::string picture;
    std::vector<ColumnSpec> columns;
};

/// One window: name, title, form position, outer size and controls in creation order.
struct WindowSpec {
    std::string name;
    std::string title;
    int left = 50;
    int top = 50;
    int width = 485;
    int height = 384;
    std::vector<ControlSpec> controls;
};

/// A control of the window (empty parent) or of a group box: kind, name, position relative to its parent, size,
/// text and font, every other property at its default.
[[nodiscard]] ControlSpec makeControl(ControlKind kind, std::string name, std::string parent, int left, int top,
                                      int width, int height, std::string text = {}, FontSpec font = {});

/// The control of that name, or nullptr.
[[nodiscard]] const ControlSpec* findControl(const WindowSpec& spec, const std::string& name);

} // namespace ui
