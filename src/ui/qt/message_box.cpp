#include "ui/qt/message_box.h"

#include <QMessageBox>
#include <QPushButton>

namespace quorvane::ui {

namespace {

// The low four bits of the flags choose the buttons, the next four the icon.
constexpr int kButtonBits = 0x0F;
constexpr int kIconBits = 0xF0;
constexpr int kYesNoButtons = 4;

QMessageBox::Icon iconOf(int flags) {
    switch (flags & kIconBits) {
        case 0x10:
            return QMessageBox::Critical;
        case 0x20:
            return QMessageBox::Question;
        case 0x30:
            return QMessageBox::Warning;
        case 0x40:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

// The button texts are set here rather than left to the translation, whose texts carry
// keyboard accelerators ("是(&Y)").
void addButtons(QMessageBox& box, int flags) {
    if ((flags & kButtonBits) == kYesNoButtons) {
        box.addButton(QMessageBox::Yes)->setText(QStringLiteral("是"));
        box.addButton(QMessageBox::No)->setText(QStringLiteral("否"));
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        return;
    }
    box.addButton(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
}

}  // namespace

MessageBoxAnswer showMessageBox(QWidget* parent, const QString& text, const QString& title,
                                MessageBoxFlags boxFlags) {
    const int flags = static_cast<int>(boxFlags);
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    box.setIcon(iconOf(flags));
    box.setWindowModality(Qt::ApplicationModal);
    addButtons(box, flags);
    box.exec();

    switch (box.standardButton(box.clickedButton())) {
        case QMessageBox::Yes:
            return MessageBoxAnswer::yes;
        case QMessageBox::Ok:
            return MessageBoxAnswer::ok;
        default:
            return MessageBoxAnswer::no;
    }
}

}  // namespace quorvane::ui
