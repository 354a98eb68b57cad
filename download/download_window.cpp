#include "download/download_window.h"

#include "download/file_download.h"
#include "download/folder_picker.h"
#include "download/mirror_hosts.h"
#include "download/mirror_links.h"
#include "platform/system.h"
#include "platform/ui/window.h"
#include "util/process_values.h"
#include "util/secondary_window.h"

#include <string>
#include <utility>

namespace download {

namespace {

ui::ControlSpec mirrorRadio(int mirror, int left, int top, int width) {
    ui::ControlSpec spec = ui::makeControl(ui::ControlKind::RadioButton, mirrorRadioName(mirror), "分组框1", left, top,
                                           width, 24, std::string(kMirrorHosts[static_cast<std::size_t>(mirror - 1)]));
    spec.checked = mirror == 1;
    return spec;
}

} // namespace

ui::WindowSpec downloadWindowSpec() {
    using Kind = ui::ControlKind;
    ui::WindowSpec spec;
    spec.name = kDownloadWindowName;
    spec.title = "Github 加速下载 (仅提供基础下载，可以复制链接到其他软件)";
    spec.left = 50;
    spec.top = 50;
    spec.width = 485;
    spec.height = 384;

    spec.controls.push_back(
        ui::makeControl(Kind::Label, "透明标签1", {}, 16, 8, 184, 32, "原链接（批量请一行一条）："));
    spec.controls.push_back(ui::makeControl(Kind::Hyperlink, kPasteLink, {}, 400, 12, 56, 24, "粘贴"));
    ui::ControlSpec input = ui::makeControl(Kind::EditBox, kLinkInputBox, {}, 16, 40, 440, 88);
    input.multiline = true;
    input.horizontalScroll = true;
    input.verticalScroll = true;
    spec.controls.push_back(input);
    spec.controls.push_back(ui::makeControl(Kind::PictureBox, "图片框1", {}, 16, 134, 440, 2));

    spec.controls.push_back(ui::makeControl(Kind::GroupBox, "分组框1", {}, 16, 144, 152, 200, "加速通道"));
    spec.controls.push_back(mirrorRadio(1, 16, 32, 120));
    spec.controls.push_back(mirrorRadio(2, 16, 56, 120));
    spec.controls.push_back(mirrorRadio(3, 8, 80, 135));
    spec.controls.push_back(mirrorRadio(4, 5, 104, 141));
    spec.controls.push_back(mirrorRadio(5, 24, 128, 104));
    spec.controls.push_back(ui::makeControl(Kind::Hyperlink, kDownloadLink, "分组框1", 30, 160, 44, 24, "下载"));
    spec.controls.push_back(ui::makeControl(Kind::Hyperlink, kCopyLinksLink, "分组框1", 78, 160, 44, 24, "链接"));

    spec.controls.push_back(ui::makeControl(Kind::GroupBox, "分组框2", {}, 176, 144, 280, 200, "下载列表"));
    spec.controls.push_back(ui::makeControl(Kind::Label, "透明标签2", "分组框2", 16, 24, 56, 16, "保存目录："));
    spec.controls.push_back(ui::makeControl(Kind::EditBox, kSaveFolderBox, "分组框2", 80, 22, 135, 21));
    spec.controls.push_back(ui::makeControl(Kind::Hyperlink, kBrowseLink, "分组框2", 215, 22, 56, 21, "浏览"));
    ui::ControlSpec list = ui::makeControl(Kind::ReportList, kDownloadList, "分组框2", 8, 49, 264, 143);
    list.columns = {{"编号", 50}, {"下载链接", 134}, {"状态", 80}};
    spec.controls.push_back(list);
    return spec;
}

void installDownloadWindow(ui::Window& window) {
    // Handlers run only while the window exists, so a plain reference is enough here.
    window.on({}, ui::Event::Created, [&window] {
        window.setText(kSaveFolderBox, util::readSetting(kSaveFolderSection, kSaveFolderKey, platform::runDirectory()));
        util::takeMainWindowPlace(window);
    });
    window.on({}, ui::Event::WillBeDestroyed, [&window] {
        util::writeSetting(kSaveFolderSection, kSaveFolderKey, window.text(kSaveFolderBox));
        util::giveBackMainWindowPlace(window);
    });
    window.on(kPasteLink, ui::Event::Released, [&window] { pasteLinks(window); });
    window.on(kCopyLinksLink, ui::Event::Pressed, [&window] { copyMirrorLinks(window); });
    window.on(kDownloadLink, ui::Event::Pressed, [&window] { startDownloads(window); });
    window.on(kBrowseLink, ui::Event::Released, [&window] { browseSaveFolder(window); });
}

std::shared_ptr<ui::Window> openDownloadWindow() {
    return util::openSecondaryWindow(downloadWindowSpec(), installDownloadWindow);
}

} // namespace download
