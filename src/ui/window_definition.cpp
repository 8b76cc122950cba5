#include "ui/window_definition.h"

namespace quorvane::ui {

namespace {

// Each row names what differs from a row's defaults; GCC would warn of every field left to them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

// The controls never seen keep places of their own, below the client area, so that nothing of
// them can show.
constexpr WindowDefinition kDefinition = {{
    {.control = Control::超文本浏览框1, .kind = ControlKind::webView, .geometry = {8, 8, 432, 220}},
    {.control = Control::透明标签1,
     .kind = ControlKind::transparentLabel,
     .geometry = {8, 238, 432, 20},
     .caption = "正在读取文件列表，请稍候！(1)",
     .textColour = kDarkBlue,
     .alignment = TextAlignment::centre,
     .enabled = false},
    {.control = Control::组合框1,
     .kind = ControlKind::dropDownList,
     .geometry = {8, 268, 432, 20},
     .textColour = kDarkBlue,
     .background = kWhite,
     .accessibleName = "请选择要下载的文件："},
    {.control = Control::解压哪个文件透明标签,
     .kind = ControlKind::transparentLabel,
     .geometry = {8, 297, 432, 24},
     .textColour = kBlue,
     .alignment = TextAlignment::centre,
     .enabled = false},
    {.control = Control::下载进度透明标签,
     .kind = ControlKind::transparentLabel,
     .geometry = {8, 324, 216, 24},
     .textColour = kDarkBlue,
     .alignment = TextAlignment::left,
     .enabled = false},
    {.control = Control::当前文件透明标签,
     .kind = ControlKind::transparentLabel,
     .geometry = {224, 324, 216, 24},
     .textColour = kDarkBlue,
     .alignment = TextAlignment::right,
     .enabled = false},
    // One pixel further left and wider than the rows above: its right edge lines up with theirs.
    {.control = Control::进度条,
     .kind = ControlKind::progressBar,
     .geometry = {7, 356, 433, 24},
     .minimum = 0,
     .maximum = 100,
     .accessibleName = "下载进度"},
    {.control = Control::超级按钮_接收,
     .kind = ControlKind::pushButton,
     .geometry = {13, 392, 83, 28},
     .caption = "开始下载"},
    {.control = Control::超级按钮_取消,
     .kind = ControlKind::pushButton,
     .geometry = {120, 392, 83, 28},
     .caption = "取消下载"},
    {.control = Control::超级按钮_打开已下载文件,
     .kind = ControlKind::pushButton,
     .geometry = {224, 392, 208, 28},
     .caption = "打开下载文件保存的文件夹"},
    // Below the client area, so it is never seen; hidden as well, so that neither Tab nor a
    // screen reader meets it.
    {.control = Control::编辑框A1,
     .kind = ControlKind::editBox,
     .geometry = {392, 500, 8, 16},
     .shown = false},
    {.control = Control::编辑框2,
     .kind = ControlKind::numberBox,
     .geometry = {8, 440, 48, 20},
     .caption = "10",
     .textColour = kDarkBlue,
     .background = kWhite,
     .shown = false,
     .minimum = 1,
     .maximum = 100},
    {.control = Control::标签3,
     .kind = ControlKind::label,
     .geometry = {8, 464, 200, 20},
     .caption = "下载线程（1-100）：",
     .textColour = kDarkBlue,
     .shown = false},
    {.control = Control::标签4,
     .kind = ControlKind::label,
     .geometry = {8, 488, 432, 40},
     .caption = "下载线程设置的越高下载速度越快，但不宜设置太高，设置太高可能导致下载异常或不能"
                "下载。（推荐值10）",
     .textColour = kDarkBlue,
     .shown = false,
     .wraps = true},
    {.control = Control::标签1,
     .kind = ControlKind::label,
     .geometry = {8, 532, 200, 20},
     .caption = "请选择要下载的文件：",
     .textColour = kDarkBlue,
     .shown = false},
}};

#pragma GCC diagnostic pop

constexpr bool eachRowAtItsControl() {
    for (int i = 0; i < kControlCount; ++i) {
        if (static_cast<int>(kDefinition[i].control) != i) return false;
    }
    return true;
}
static_assert(eachRowAtItsControl(), "the rows follow the order of Control");

}  // namespace

const WindowDefinition& windowDefinition() {
    return kDefinition;
}

const ControlDefinition& definitionOf(Control control) {
    return kDefinition[static_cast<std::size_t>(control)];
}

}  // namespace quorvane::ui
