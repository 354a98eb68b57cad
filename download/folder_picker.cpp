#include "download/folder_picker.h"

#include "download/download_window.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/window.h"

namespace download {

void browseSaveFolder(ui::Window& window) {
    const std::string folder = ui::toolkit().pickFolder(kPickFolderTitle, window.name());
    if (!folder.empty())
        window.setText(kSaveFolderBox, folder);
}

} // namespace download
