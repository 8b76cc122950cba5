#include "ui/qt/window_controls.h"

#include <QComboBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "ui/qt/start_page_view.h"
#include "ui/window_definition.h"

namespace quorvane::ui {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor qColour(const Colour& colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

Qt::Alignment qAlignment(TextAlignment alignment) {
    switch (alignment) {
        case TextAlignment::centre:
            return Qt::AlignHCenter;
        case TextAlignment::right:
            return Qt::AlignRight;
        case TextAlignment::left:
            break;
    }
    return Qt::AlignLeft;
}

// The same colour in every state: the transparent labels are disabled for good and must still
// be drawn in their colour.
void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, role, colour);
    }
    widget->setPalette(palette);
}

// The roles a kind draws its text and its background with.
void applyColours(QWidget* widget, const ControlDefinition& d) {
    const bool label = d.kind == ControlKind::transparentLabel || d.kind == ControlKind::label;
    if (d.textColour) {
        const QColor text = qColour(*d.textColour);
        if (label) {
            setColour(widget, QPalette::WindowText, text);
        } else if (d.kind == ControlKind::dropDownList) {
            for (auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText}) {
                setColour(widget, role, text);
            }
        } else {
            setColour(widget, QPalette::Text, text);
        }
    }
    if (d.background) {
        setColour(widget, QPalette::Base, qColour(*d.background));
        if (d.kind == ControlKind::dropDownList) {
            setColour(widget, QPalette::Button, qColour(*d.background));
        }
    }
}

QLabel* label(QWidget* window, const ControlDefinition& d) {
    auto* label = new QLabel(fromUtf8(d.caption), window);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(d.wraps);
    if (d.kind == ControlKind::transparentLabel) {
        // A line of text drawn straight onto the window's background.
        label->setAlignment(qAlignment(d.alignment) | Qt::AlignVCenter);
        label->setAutoFillBackground(false);
    }
    return label;
}

QPushButton* pushButton(QWidget* window, const ControlDefinition& d) {
    auto* button = new QPushButton(fromUtf8(d.caption), window);
    button->setAutoDefault(false);  // Enter starts nothing
    return button;
}

QComboBox* dropDownList(QWidget* window) {
    auto* box = new QComboBox(window);
    box->setEditable(false);
    return box;
}

QLineEdit* editBox(QWidget* window, const ControlDefinition& d) {
    auto* box = new QLineEdit(fromUtf8(d.caption), window);
    if (d.kind == ControlKind::numberBox) {
        box->setValidator(new QIntValidator(d.minimum, d.maximum, box));
    } else {
        box->setFocusPolicy(Qt::NoFocus);  // never reached with Tab
    }
    return box;
}

QProgressBar* progressBar(QWidget* window, const ControlDefinition& d) {
    auto* bar = new QProgressBar(window);
    bar->setRange(d.minimum, d.maximum);
    bar->setValue(d.minimum);
    bar->setTextVisible(false);  // empty at the start, full at the end, nothing else
    return bar;
}

QWidget* create(QWidget* window, const ControlDefinition& d) {
    switch (d.kind) {
        case ControlKind::webView:
            return new StartPageView(window);
        case ControlKind::transparentLabel:
        case ControlKind::label:
            return label(window, d);
        case ControlKind::dropDownList:
            return dropDownList(window);
        case ControlKind::progressBar:
            return progressBar(window, d);
        case ControlKind::pushButton:
            return pushButton(window, d);
        case ControlKind::editBox:
        case ControlKind::numberBox:
            return editBox(window, d);
    }
    return nullptr;
}

}  // namespace

WindowControls createWindowControls(QWidget* window) {
    WindowControls c;
    for (const ControlDefinition& d : windowDefinition()) {
        QWidget* widget = create(window, d);
        widget->setGeometry(d.geometry.left, d.geometry.top, d.geometry.width, d.geometry.height);
        applyColours(widget, d);
        if (!d.accessibleName.empty()) widget->setAccessibleName(fromUtf8(d.accessibleName));
        if (!d.enabled) widget->setEnabled(false);
        if (!d.shown) widget->hide();  // nor met by a screen reader
        c.widgets[static_cast<std::size_t>(d.control)] = widget;
    }
    c.超文本浏览框1 = static_cast<StartPageView*>(c.widget(Control::超文本浏览框1));
    c.组合框1 = static_cast<QComboBox*>(c.widget(Control::组合框1));
    c.进度条 = static_cast<QProgressBar*>(c.widget(Control::进度条));
    c.超级按钮_接收 = static_cast<QPushButton*>(c.widget(Control::超级按钮_接收));
    c.超级按钮_取消 = static_cast<QPushButton*>(c.widget(Control::超级按钮_取消));
    c.超级按钮_打开已下载文件 =
        static_cast<QPushButton*>(c.widget(Control::超级按钮_打开已下载文件));
    c.编辑框2 = static_cast<QLineEdit*>(c.widget(Control::编辑框2));
    c.标签4 = static_cast<QLabel*>(c.widget(Control::标签4));
    // Hidden, they still name for a screen reader what they are the captions of.
    static_cast<QLabel*>(c.widget(Control::标签1))->setBuddy(c.组合框1);
    static_cast<QLabel*>(c.widget(Control::标签3))->setBuddy(c.编辑框2);
    return c;
}

}  // namespace quorvane::ui
