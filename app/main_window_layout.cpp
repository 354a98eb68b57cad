#include "app/main_window_layout.h"

#include "hosts/service_names.h"
#include "util/text.h"

namespace app {
namespace {

using ui::ControlKind;

constexpr ui::FontSpec kCommandFont{14, true};

} // namespace

std::string initialStatusLogText() {
    return util::joinText(
        {
            "你好，欢迎使用Corvana！",
            "本工具通过修改系统Hosts文件来实现Github访问加速",
            "加速完成后有几率不会生效，请尝试着多刷新几次，也可以试着重启计算机",
            "",
            "请点击关于右侧的版本号进行检测更新 :)",
            "",
            "Unicode 无法加载",
            "",
            "启动参数扩展：",
            "-asp 启动后自动加速",
            "-fsp 如果加速过程中检测到有IE代理，自动应用",
            "-esp 加速完成后自动退出",
            "-hsp 最小化启动",
            "-dsp 清除加速结果",
            "(例) \"C:\\Corvana.exe\" -asp -fsp -esp -hsp",
            "",
            "----------",
        },
        util::kCrLf);
}

std::string welcomeText() {
    return util::joinText(
        {
            "你好，欢迎使用 Corvana！( •̀ ω •́ )✧",
            "本工具通过修改系统 Hosts 文件来实现 Github 访问加速👀",
            "加速完成后有几率不会生效❌，请尝试着多刷新几次 也可以试着重启计算机✔",
            "如果正在使用浏览器浏览网页，可以尝试重启浏览器、清除浏览器缓存🌐♻",
            "点击关于右侧的版本号进行检测更新 ヾ(≧▽≦*)o",
            "",
            "启动参数扩展：",
            "-asp 启动后自动加速",
            "-fsp 如果加速过程中检测到有IE代理，自动应用",
            "-esp 加速完成后自动退出",
            "-hsp 最小化启动",
            "-dsp 清除加速结果",
            "(例) \"C:\\Corvana.exe\" -asp -fsp -esp -hsp",
            "",
            "若是加速后反而出现了一些什么问题，请尝试清除加速后再试",
            "",
            "———————— 分割线 ————————",
        },
        util::kCrLf);
}

std::string rawContentTooltip() {
    return util::joinText(
        std::vector<std::string>{
            "解决部分 " + std::string(hosts::kRawContentHost) + " 原数据访问找不到 ip 服务器问题",
            "若勾选后加速无法正常访问，请取消勾选更换 DNS 后加速再试。",
            "（直接转换/实际判断生效）",
        },
        util::kCrLf);
}

ui::WindowSpec mainWindowLayout() {
    ui::WindowSpec window;
    window.name = kMainWindowName;
    window.title = "Corvana";
    window.left = 50;
    window.top = 50;
    window.width = 485;
    window.height = 384;

    auto logo = ui::makeControl(ControlKind::PictureBox, "图片框1", "", 25, 16, 71, 64);
    logo.picture = "logo.png";
    auto log = ui::makeControl(ControlKind::EditBox, "编辑框1", "", 15, 97, 448, 136, initialStatusLogText());
    log.multiline = true;
    log.readOnly = true;
    log.horizontalScroll = true;
    log.verticalScroll = true;

    window.controls = {
        logo,
        ui::makeControl(ControlKind::Hyperlink, "超级链接框1", "", 128, 24, 80, 24, "开始加速", kCommandFont),
        ui::makeControl(ControlKind::Hyperlink, "超级链接框4", "", 224, 24, 80, 24, "清除加速", kCommandFont),
        ui::makeControl(ControlKind::Hyperlink, "超级链接框3", "", 328, 28, 63, 16, "关于", kCommandFont),
        ui::makeControl(ControlKind::Hyperlink, "超级链接框2", "", 400, 27, 63, 19, "v", kCommandFont),
        ui::makeControl(ControlKind::ProgressBar, "进度条1", "", 128, 59, 336, 8),
        ui::makeControl(ControlKind::PictureBox, "图片框2", "", 15, 88, 448, 2),
        log,
        ui::makeControl(ControlKind::PictureBox, "图片框3", "", 15, 240, 448, 2),
        ui::makeControl(ControlKind::GroupBox, "分组框1", "", 16, 248, 448, 77, "服务器地址源设置"),
        ui::makeControl(ControlKind::RadioButton, "单选框1", "分组框1", 20, 22, 72, 16, "自动判断"),
        ui::makeControl(ControlKind::RadioButton, "单选框5", "分组框1", 100, 22, 72, 16, "直接转换"),
        ui::makeControl(ControlKind::RadioButton, "单选框2", "分组框1", 180, 22, 104, 16, "从 Tovenet 获取"),
        ui::makeControl(ControlKind::RadioButton, "单选框4", "分组框1", 290, 24, 128, 16, "从 Github520 获取"),
        ui::makeControl(ControlKind::RadioButton, "单选框3", "分组框1", 20, 48, 72, 16, "实际判断"),
        ui::makeControl(ControlKind::CheckBox, "选择框1", "分组框1", 100, 44, 184, 24, "加速Raw.Githubusercontent"),
        ui::makeControl(ControlKind::CheckBox, "选择框2", "分组框1", 290, 44, 96, 24, "使用无感模式"),
        ui::makeControl(ControlKind::Hyperlink, "超级链接框10", "分组框1", 386, 44, 32, 24, "(提示)"),
        ui::makeControl(ControlKind::Hyperlink, "超级链接框6", "", 15, 328, 86, 24, "Ping Github"),
        ui::makeControl(ControlKind::Hyperlink, "超级链接框8", "", 103, 328, 57, 24, "Github"),
        ui::makeControl(ControlKind::Hyperlink, "超级链接框7", "", 168, 328, 67, 24, "Github 搜索"),
        ui::makeControl(ControlKind::Hyperlink, "超级链接框9", "", 256, 328, 104, 24, "Github 加速下载"),
        ui::makeControl(ControlKind::Hyperlink, "超级链接框5", "", 379, 328, 86, 24, "编辑Hosts文件"),
    };
    return window;
}

} // namespace app
