#include "app/settings.h"

#include "hosts/service_names.h"
#include "platform/ui/window.h"
#include "util/process_values.h"

#include <string>

namespace app {
namespace {

std::string sourceButton(int source) {
    return "单选框" + std::to_string(source);
}

} // namespace

void readSilentModeSetting(ui::Window& main) {
    if (util::readSetting(kSectionOther, kKeyAutoMode) == "1")
        main.setChecked("选择框2", true);
}

void readSourceSettings(ui::Window& main) {
    for (int source = 1; source <= 5; ++source)
        main.setChecked(sourceButton(source), false);
    main.setChecked("选择框1", false);
    // Each source is read on its own, as the file may hold any text; a missing key selects source 5.
    for (int source = 1; source <= 4; ++source) {
        if (util::readSetting(kSectionSource, kKeySource) == std::to_string(source))
            main.setChecked(sourceButton(source), true);
    }
    if (util::readSetting(kSectionSource, kKeySource, "5") == "5")
        main.setChecked(sourceButton(5), true);
    if (util::readSetting(kSectionOther, std::string(hosts::kRawContentOptionKey), "1") == "1")
        main.setChecked("选择框1", true);
}

void writeMainWindowSettings(const ui::Window& main) {
    for (int source = 1; source <= 5; ++source) {
        if (main.checked(sourceButton(source)))
            util::writeSetting(kSectionSource, kKeySource, std::to_string(source));
    }
    util::writeSetting(kSectionOther, std::string(hosts::kRawContentOptionKey), main.checked("选择框1") ? "1" : "0");
    util::writeSetting(kSectionOther, kKeyAutoMode, main.checked("选择框2") ? "1" : "0");
}

} // namespace app
