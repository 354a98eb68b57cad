#include "platform/ui/layout.h"

namespace ui {

ControlSpec makeControl(ControlKind kind, std::string name, std::string parent, int left, int top, int width,
                        int height, std::string text, FontSpec font) {
    ControlSpec spec;
    spec.kind = kind;
    spec.name = std::move(name);
    spec.parent = std::move(parent);
    spec.left = left;
    spec.top = top;
    spec.width = width;
    spec.height = height;
    spec.text = std::move(text);
    spec.font = font;
    return spec;
}

const ControlSpec* findControl(const WindowSpec& spec, const std::string& name) {
    for (const ControlSpec& control : spec.controls) {
        if (control.name == name)
            return &control;
    }
    return nullptr;
}

} // namespace ui
