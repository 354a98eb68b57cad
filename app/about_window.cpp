#include "app/about_window.h"

#include "app/project_pages.h"
#include "platform/system.h"
#include "platform/ui/window.h"
#include "util/secondary_window.h"
#include "util/text.h"

namespace app {
namespace {

ui::ControlSpec label(const char* name, int left, int top, int width, int height, std::string text, int pixels) {
    return ui::makeControl(ui::ControlKind::Label, name, {}, left, top, width, height, std::move(text), {pixels, true});
}

ui::ControlSpec link(const char* name, int left, const char* text) {
    return ui::makeControl(ui::ControlKind::Hyperlink, name, {}, left, 320, 80, 24, text);
}

std::string creditsText() {
    return util::joinText(
        {"-- 特别鸣谢 --", "感谢作者及发布论坛的朋友们", "Tovenet (云 hosts 地址)", "GitHub520 (云 hosts 地址)"},
        util::kCrLf);
}

} // namespace

ui::WindowSpec aboutWindowLayout() {
    ui::WindowSpec window;
    window.name = kAboutWindowName;
    window.title = "关于";

    ui::ControlSpec logo = ui::makeControl(ui::ControlKind::PictureBox, "图片框1", {}, 179, 24, 120, 100);
    logo.picture = "logo.png";

    window.controls = {
        logo,
        label("透明标签1", 131, 128, 216, 32, "Corvana", 16),
        label("透明标签3", 131, 168, 216, 96, creditsText(), 16),
        label("透明标签2", 131, 269, 216, 19, "v1", 12),
        label("透明标签4", 111, 293, 256, 16, "然而世事千帆而过 路的尽头终归是温柔和月光", 12),
        link("超级链接框6", 143, "项目主页"),
        link("超级链接框1", 255, "发布页"),
    };
    return window;
}

std::shared_ptr<ui::Window> openAboutWindow() {
    return util::openSecondaryWindow(aboutWindowLayout(), [](ui::Window& about) {
        about.on({}, ui::Event::Created, [&about] {
            util::takeMainWindowPlace(about);
            about.setText("透明标签2", "v" + platform::readFileVersion(platform::programFilePath()));
        });
        about.on({}, ui::Event::WillBeDestroyed, [&about] { util::giveBackMainWindowPlace(about); });
        about.on("超级链接框6", ui::Event::Released, [] { platform::openUrl(kProjectPage); });
        about.on("超级链接框1", ui::Event::Released, [] { platform::openUrl(kReleasePage); });
    });
}

} // namespace app
