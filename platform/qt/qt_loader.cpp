#include "platform/qt/qt_loader.h"

#include "platform/embedded_module.h"
#include "platform/ui/picture.h"
#include "resources/resources.h"

// The realizer module's bytes, compiled in by corvana_embed_module().
extern "C" __attribute__((visibility("hidden"))) const unsigned char corvana_module_qt[];
extern "C" __attribute__((visibility("hidden"))) const unsigned char corvana_module_qt_end[];

namespace qtui {
namespace {

using ToolkitEntry = decltype(&corvana_make_qt_toolkit);

// The module takes the window model from the program. These parts only the realizer uses; naming them here links
// them into the program, which exports them for the module.
[[gnu::used]] const void* const kTakenByTheModule[] = {reinterpret_cast<const void*>(&ui::decodePng),
                                                       reinterpret_cast<const void*>(&resources::find)};

} // namespace

std::unique_ptr<ui::Toolkit> loadQtToolkit(int& argc, char** argv, std::string* whyNot) {
    static std::string loadFailure;
    static const auto entry = reinterpret_cast<ToolkitEntry>(
        platform::loadModuleEntry(platform::embeddedModule("corvana-qt", corvana_module_qt, corvana_module_qt_end),
                                  kQtToolkitEntry, false, &loadFailure));
    std::string reason = loadFailure;
    ui::Toolkit* toolkit = entry != nullptr ? entry(&argc, argv) : nullptr;
    if (entry != nullptr && toolkit == nullptr)
        reason = "Qt could not be started";
    if (toolkit == nullptr && whyNot != nullptr)
        *whyNot = std::move(reason);
    return std::unique_ptr<ui::Toolkit>(toolkit);
}

} // namespace qtui
