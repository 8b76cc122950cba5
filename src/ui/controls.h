#pragma once

// The window as the program's logic sees it: the controls by name and the few operations done on
// them. The Qt and the Win32 window implement it; tests use a scripted fake.
//
// The rules every window follows:
// - Any operation may be called from any thread. It is carried out in full on the window's
//   thread before it returns, so that a later read from any thread sees its effect.
// - Once the window has stopped serving workers (before the program joins them), a call from
//   another thread returns at once without effect, with the values of an empty, disabled window.
// - Every write to 编辑框2 runs WindowEvents::clampConnectionCount before it returns, also one
//   that leaves the text as it was (see ui/control_rules.h); choosing an item from the program
//   fires no event.
// - A message box keeps the window's thread delivering events and timer ticks while it is open.

#include <string>
#include <string_view>

namespace quorvane {

// The window's controls, named as in the window definition.
enum class Control {
    超文本浏览框1,
    透明标签1,
    组合框1,
    解压哪个文件透明标签,
    下载进度透明标签,
    当前文件透明标签,
    进度条,
    超级按钮_接收,
    超级按钮_取消,
    超级按钮_打开已下载文件,
    编辑框A1,
    编辑框2,
    标签3,
    标签4,
    标签1,
};

inline constexpr int kControlCount = static_cast<int>(Control::标签1) + 1;

enum class WindowState { normal, minimised };

// Message-box flags, numbered as Win32's MessageBox takes them: the low four bits choose the
// buttons, the next four the icon.
enum class MessageBoxFlags : int {
    yesNoQuestion = 36,  // Yes and No buttons, question-mark icon (MB_YESNO | MB_ICONQUESTION)
    information = 64,    // OK button, information icon (MB_OK | MB_ICONINFORMATION)
};
inline constexpr MessageBoxFlags kYesNoQuestion = MessageBoxFlags::yesNoQuestion;
inline constexpr MessageBoxFlags kInformation = MessageBoxFlags::information;

enum class MessageBoxAnswer { ok, yes, no };

// Mouse actions on the notification-area icon, as the program numbers them. Only a click
// starts anything.
enum class TrayEvent : int {
    other = 0,
    click = 1,
    contextMenu = 2,
    doubleClick = 3,
    middleClick = 4,
};

class Controls {
  public:
    virtual ~Controls() = default;

    // Caption of a label, content of an edit box; for 组合框1 the text of the chosen item (set is
    // not used on it). Texts are UTF-8.
    virtual void setText(Control control, std::string_view text) = 0;
    virtual std::string text(Control control) = 0;

    virtual void setDisabled(Control control, bool disabled) = 0;
    virtual bool isDisabled(Control control) = 0;

    // 组合框1. Choosing from the program never raises the chosen-item event.
    virtual void addItem(std::string_view text) = 0;
    virtual void setChosenItem(int index) = 0;  // -1: nothing chosen
    virtual int chosenItem() = 0;

    // 进度条, 0 to 100.
    virtual void setPosition(int position) = 0;
    virtual int position() = 0;

    virtual void showWindow() = 0;
    virtual void setWindowState(WindowState state) = 0;

    // Puts the program icon into the notification area with this tip, or changes the tip of the
    // icon already there. Returns whether an icon could be shown.
    virtual bool setTrayIcon(std::string_view tip) = 0;
    virtual void removeTrayIcon() = 0;

    // Modal. While it is open the window keeps delivering timer ticks and other events.
    virtual MessageBoxAnswer messageBox(std::string_view text, std::string_view title,
                                        MessageBoxFlags flags) = 0;
};

}  // namespace quorvane
