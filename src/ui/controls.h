#pragma once

// The window as the program's logic sees it: the controls by name and the few operations done on
// them. The Qt window implements it; tests use a scripted fake. Every operation may be called from
// any thread and is carried out in full on the window's thread before it returns.

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

enum class WindowState { normal, minimised };

// Message-box flags as the platform numbers them.
inline constexpr int kYesNoQuestion = 36;  // Yes and No buttons, question-mark icon
inline constexpr int kInformation = 64;    // OK button, information icon

enum class MessageBoxAnswer { ok, yes, no };

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

    // Modal; flags are kYesNoQuestion or kInformation. While it is open the window keeps
    // delivering timer ticks and other events.
    virtual MessageBoxAnswer messageBox(std::string_view text, std::string_view title,
                                        int flags) = 0;
};

}  // namespace quorvane
