#pragma once

// The controls of the main window as its definition gives them: kind, position, size, colours,
// alignment, caption and initial state. The window owns them (Qt parent); this only creates them.

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
    StartPageView* 超文本浏览框1 = nullptr;
    QLabel* 透明标签1 = nullptr;
    QComboBox* 组合框1 = nullptr;
    QLabel* 解压哪个文件透明标签 = nullptr;
    QLabel* 下载进度透明标签 = nullptr;
    QLabel* 当前文件透明标签 = nullptr;
    QProgressBar* 进度条 = nullptr;
    QPushButton* 超级按钮_接收 = nullptr;
    QPushButton* 超级按钮_取消 = nullptr;
    QPushButton* 超级按钮_打开已下载文件 = nullptr;
    QLineEdit* 编辑框A1 = nullptr;
    QLineEdit* 编辑框2 = nullptr;
    QLabel* 标签3 = nullptr;
    QLabel* 标签4 = nullptr;
    QLabel* 标签1 = nullptr;

    QWidget* widget(Control control) const;
};

// Creates every control as a child of window, in the definition's order (which is also the
// keyboard focus order).
WindowControls createWindowControls(QWidget* window);

}  // namespace quorvane::ui
