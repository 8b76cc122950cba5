#pragma once

// The controls of the main window, made from the window's table (ui/window_definition.h). The
// window owns them (Qt parent); this only creates them.

#include <array>

#include "ui/controls.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace quorvane::ui {

class StartPageView;

struct WindowControls {
    std::array<QWidget*, kControlCount> widgets{};
    // The ones the window works on beyond text and enabled state.
    StartPageView* 超文本浏览框1 = nullptr;
    QComboBox* 组合框1 = nullptr;
    QProgressBar* 进度条 = nullptr;
    QPushButton* 超级按钮_接收 = nullptr;
    QPushButton* 超级按钮_取消 = nullptr;
    QPushButton* 超级按钮_打开已下载文件 = nullptr;
    QLineEdit* 编辑框2 = nullptr;
    QLabel* 标签4 = nullptr;

    QWidget* widget(Control control) const { return widgets[static_cast<std::size_t>(control)]; }
};

// Creates every control as a child of window, in the table's order (which is also the keyboard
// focus order).
WindowControls createWindowControls(QWidget* window);

}  // namespace quorvane::ui
