#include "ui/qt/window_controls.h"

#include <QComboBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "ui/qt/start_page_view.h"

namespace quorvane::ui {

namespace {

const QColor kDarkBlue(0, 0, 128);
const QColor kBlue(0, 136, 255);
const QColor kWhite(255, 255, 255);

// The same colour in every state: the transparent labels are disabled for good and must still
// be drawn in their colour.
void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, role, colour);
    }
    widget->setPalette(palette);
}

// A line of text drawn straight onto the window's background, taking no input.
QLabel* transparentLabel(QWidget* window, const QRect& geometry, const QColor& colour,
                         Qt::Alignment alignment, const QString& caption = {}) {
    auto* label = new QLabel(caption, window);
    label->setGeometry(geometry);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setAutoFillBackground(false);
    label->setTextFormat(Qt::PlainText);
    setColour(label, QPalette::WindowText, colour);
    label->setEnabled(false);
    return label;
}

QLabel* hiddenLabel(QWidget* window, const QString& caption) {
    auto* label = new QLabel(caption, window);
    label->setTextFormat(Qt::PlainText);
    setColour(label, QPalette::WindowText, kDarkBlue);
    label->hide();
    return label;
}

QPushButton* pushButton(QWidget* window, const QRect& geometry, const QString& caption) {
    auto* button = new QPushButton(caption, window);
    button->setGeometry(geometry);
    button->setAutoDefault(false);  // Enter starts nothing
    return button;
}

QComboBox* fileChooser(QWidget* window) {
    auto* box = new QComboBox(window);
    box->setGeometry(8, 268, 432, 20);
    box->setEditable(false);
    for (auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText}) {
        setColour(box, role, kDarkBlue);
    }
    for (auto role : {QPalette::Base, QPalette::Button}) setColour(box, role, kWhite);
    return box;
}

QLineEdit* connectionCountBox(QWidget* window) {
    auto* box = new QLineEdit(QStringLiteral("10"), window);
    box->setValidator(new QIntValidator(1, 100, box));
    setColour(box, QPalette::Text, kDarkBlue);
    setColour(box, QPalette::Base, kWhite);
    box->hide();
    return box;
}

QLineEdit* addressBox(QWidget* window) {
    auto* box = new QLineEdit(window);
    box->setGeometry(392, 500, 8, 16);  // below the client area: never seen
    box->setFocusPolicy(Qt::NoFocus);   // nor reached with Tab
    box->hide();                        // nor met by a screen reader
    return box;
}

QProgressBar* progressBar(QWidget* window) {
    auto* bar = new QProgressBar(window);
    bar->setGeometry(7, 356, 433, 24);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);                          // empty at 0, full at 100, nothing else
    bar->setAccessibleName(QStringLiteral("下载进度"));  // what a screen reader calls it
    return bar;
}

}  // namespace

WindowControls createWindowControls(QWidget* window) {
    WindowControls c;
    c.超文本浏览框1 = new StartPageView(window);
    c.超文本浏览框1->setGeometry(8, 8, 432, 220);
    c.透明标签1 = transparentLabel(window, {8, 238, 432, 20}, kDarkBlue, Qt::AlignHCenter,
                                   QStringLiteral("正在读取文件列表，请稍候！(1)"));
    c.组合框1 = fileChooser(window);
    c.解压哪个文件透明标签 = transparentLabel(window, {8, 297, 432, 24}, kBlue, Qt::AlignHCenter);
    c.下载进度透明标签 = transparentLabel(window, {8, 324, 216, 24}, kDarkBlue, Qt::AlignLeft);
    c.当前文件透明标签 = transparentLabel(window, {224, 324, 216, 24}, kDarkBlue, Qt::AlignRight);
    c.进度条 = progressBar(window);
    c.超级按钮_接收 = pushButton(window, {13, 392, 83, 28}, QStringLiteral("开始下载"));
    c.超级按钮_取消 = pushButton(window, {120, 392, 83, 28}, QStringLiteral("取消下载"));
    c.超级按钮_打开已下载文件 =
        pushButton(window, {224, 392, 208, 28}, QStringLiteral("打开下载文件保存的文件夹"));
    c.编辑框A1 = addressBox(window);
    c.编辑框2 = connectionCountBox(window);
    c.标签3 = hiddenLabel(window, QStringLiteral("下载线程（1-100）："));
    c.标签4 =
        hiddenLabel(window, QStringLiteral("下载线程设置的越高下载速度越快，但不宜设置太高，"
                                           "设置太高可能导致下载异常或不能下载。（推荐值10）"));
    c.标签4->setWordWrap(true);
    c.标签1 = hiddenLabel(window, QStringLiteral("请选择要下载的文件："));
    // Hidden, they still name for a screen reader what they are the captions of.
    c.标签1->setBuddy(c.组合框1);
    c.标签3->setBuddy(c.编辑框2);
    return c;
}

QWidget* WindowControls::widget(Control control) const {
    switch (control) {
        case Control::超文本浏览框1:
            return 超文本浏览框1;
        case Control::透明标签1:
            return 透明标签1;
        case Control::组合框1:
            return 组合框1;
        case Control::解压哪个文件透明标签:
            return 解压哪个文件透明标签;
        case Control::下载进度透明标签:
            return 下载进度透明标签;
        case Control::当前文件透明标签:
            return 当前文件透明标签;
        case Control::进度条:
            return 进度条;
        case Control::超级按钮_接收:
            return 超级按钮_接收;
        case Control::超级按钮_取消:
            return 超级按钮_取消;
        case Control::超级按钮_打开已下载文件:
            return 超级按钮_打开已下载文件;
        case Control::编辑框A1:
            return 编辑框A1;
        case Control::编辑框2:
            return 编辑框2;
        case Control::标签3:
            return 标签3;
        case Control::标签4:
            return 标签4;
        case Control::标签1:
            return 标签1;
    }
    return nullptr;
}

}  // namespace quorvane::ui
