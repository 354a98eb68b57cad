#include "platform/ui/layout.h"

namespace ui {

const ControlSpec* findControl(const WindowSpec& spec, const std::string& name) {
    for (const ControlSpec& control : spec.controls) {
        if (control.name == name)
            return &control;
    }
    return nullptr;
}

} // namespace ui
