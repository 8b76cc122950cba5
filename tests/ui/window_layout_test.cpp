// The window as its definition draws it: caption, size, frame, and every control's place,
// caption, colour, alignment and initial state.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <optional>

#include "ui/qt/main_window.h"
#include "ui/qt/start_page_view.h"

namespace quorvane::ui {
namespace {

const QColor kDarkBlue(0, 0, 128);
const QColor kBlue(0, 136, 255);

class WindowLayout : public ::testing::Test {
  protected:
    MainWindow window{QUrl()};
    QWidget* widget(Control control) const { return window.controls().widget(control); }
};

TEST_F(WindowLayout, WindowHasItsCaptionAFixedClientAreaAndNoMaximiseButton) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quorvane下载器"));
    EXPECT_EQ(window.size(), QSize(448, 432));
    EXPECT_EQ(window.minimumSize(), QSize(448, 432));
    EXPECT_EQ(window.maximumSize(), QSize(448, 432));
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(WindowLayout, WindowCarriesTheProgramIconInFiveSizes) {
    const QList<QSize> sizes = window.windowIcon().availableSizes();
    for (int side : {16, 32, 48, 64, 128}) {
        EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
    }
    EXPECT_FALSE(window.windowIcon().pixmap(QSize(32, 32)).isNull());
}

struct VisibleControlRow {
    Control control;
    QRect geometry;
    QString caption;
    std::optional<QColor> textColour;
    std::optional<Qt::Alignment> alignment;
    bool enabled;
};

const VisibleControlRow kVisibleControls[] = {
    {Control::超文本浏览框1, {8, 8, 432, 220}, {}, {}, {}, true},
    {Control::透明标签1,
     {8, 238, 432, 20},
     QStringLiteral("正在读取文件列表，请稍候！(1)"),
     kDarkBlue,
     Qt::AlignHCenter,
     false},
    {Control::组合框1, {8, 268, 432, 20}, {}, kDarkBlue, {}, true},
    {Control::解压哪个文件透明标签, {8, 297, 432, 24}, {}, kBlue, Qt::AlignHCenter, false},
    {Control::下载进度透明标签, {8, 324, 216, 24}, {}, kDarkBlue, Qt::AlignLeft, false},
    {Control::当前文件透明标签, {224, 324, 216, 24}, {}, kDarkBlue, Qt::AlignRight, false},
    {Control::进度条, {7, 356, 433, 24}, {}, {}, {}, true},
    {Control::超级按钮_接收, {13, 392, 83, 28}, QStringLiteral("开始下载"), {}, {}, true},
    {Control::超级按钮_取消, {120, 392, 83, 28}, QStringLiteral("取消下载"), {}, {}, true},
    {Control::超级按钮_打开已下载文件,
     {224, 392, 208, 28},
     QStringLiteral("打开下载文件保存的文件夹"),
     {},
     {},
     true},
};

QColor textColourOf(QWidget* widget) {
    if (qobject_cast<QLabel*>(widget)) return widget->palette().color(QPalette::WindowText);
    return widget->palette().color(QPalette::Text);
}

TEST_F(WindowLayout, EveryVisibleControlStandsWhereTheDefinitionPutsIt) {
    for (const auto& row : kVisibleControls) {
        SCOPED_TRACE(::testing::Message() << "control " << static_cast<int>(row.control));
        QWidget* control = widget(row.control);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->geometry(), row.geometry);
        EXPECT_TRUE(control->isVisibleTo(&window));
        EXPECT_EQ(control->isEnabled(), row.enabled);
        EXPECT_EQ(QString::fromStdString(window.text(row.control)), row.caption);
        if (row.textColour) {
            EXPECT_EQ(textColourOf(control), *row.textColour);
        }
        if (row.alignment) {
            auto* label = qobject_cast<QLabel*>(control);
            ASSERT_NE(label, nullptr);
            EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, *row.alignment);
        }
    }
}

TEST_F(WindowLayout, TransparentLabelsAreDrawnInTheirColourOnTheWindowBackground) {
    const std::pair<Control, QColor> labels[] = {
        {Control::透明标签1, kDarkBlue},
        {Control::解压哪个文件透明标签, kBlue},
        {Control::下载进度透明标签, kDarkBlue},
        {Control::当前文件透明标签, kDarkBlue},
    };
    for (const auto& [control, colour] : labels) {
        QWidget* label = widget(control);
        EXPECT_FALSE(label->autoFillBackground());
        EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
        // Disabled for good, yet not greyed out.
        EXPECT_EQ(label->palette().color(QPalette::Disabled, QPalette::WindowText), colour);
    }
}

TEST_F(WindowLayout, OnlyTheWebViewTheChooserAndTheButtonsTakeKeyboardFocus) {
    for (Control control : {Control::超文本浏览框1, Control::组合框1, Control::超级按钮_接收,
                            Control::超级按钮_取消, Control::超级按钮_打开已下载文件}) {
        EXPECT_NE(widget(control)->focusPolicy() & Qt::TabFocus, 0) << static_cast<int>(control);
    }
    for (Control control : {Control::进度条, Control::编辑框A1}) {
        EXPECT_EQ(widget(control)->focusPolicy(), Qt::NoFocus) << static_cast<int>(control);
    }
}

TEST_F(WindowLayout, FileChooserStartsEmptyNotEditableDarkBlueOnWhite) {
    auto* chooser = window.controls().组合框1;
    EXPECT_EQ(chooser->count(), 0);
    EXPECT_EQ(chooser->currentIndex(), -1);
    EXPECT_FALSE(chooser->isEditable());
    EXPECT_EQ(chooser->palette().color(QPalette::ButtonText), kDarkBlue);
    EXPECT_EQ(chooser->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(window.chosenItem(), -1);
}

TEST_F(WindowLayout, ProgressBarRunsFromZeroToHundredAndStartsEmpty) {
    auto* bar = window.controls().进度条;
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_FALSE(bar->isTextVisible());
}

TEST_F(WindowLayout, AddressBoxLiesOutsideTheClientArea) {
    QWidget* box = widget(Control::编辑框A1);
    EXPECT_EQ(box->geometry(), QRect(392, 500, 8, 16));
    EXPECT_FALSE(window.rect().intersects(box->geometry()));
    EXPECT_EQ(window.text(Control::编辑框A1), "");
}

TEST_F(WindowLayout, HiddenControlsStayHiddenWithTheirContent) {
    const std::pair<Control, QString> hidden[] = {
        {Control::编辑框2, QStringLiteral("10")},
        {Control::标签3, QStringLiteral("下载线程（1-100）：")},
        {Control::标签4, QStringLiteral("下载线程设置的越高下载速度越快，但不宜设置太高，设置太高"
                                        "可能导致下载异常或不能下载。（推荐值10）")},
        {Control::标签1, QStringLiteral("请选择要下载的文件：")},
    };
    window.show();
    for (const auto& [control, content] : hidden) {
        EXPECT_FALSE(widget(control)->isVisible()) << static_cast<int>(control);
        EXPECT_EQ(QString::fromStdString(window.text(control)), content);
        EXPECT_EQ(textColourOf(widget(control)), kDarkBlue);
    }
    EXPECT_TRUE(window.controls().标签4->wordWrap());
    EXPECT_TRUE(window.controls().编辑框2->isEnabled());
}

// What assistive technology (AT-SPI on Linux) is told about the window's controls.
TEST_F(WindowLayout, ScreenReaderMeetsOnlyWhatIsShownAndEachControlByName) {
    window.show();
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(&window);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(QAccessible::Name), QStringLiteral("Quorvane下载器"));
    int named = 0;
    for (int i = 0; i < root->childCount(); ++i) {
        QAccessibleInterface* child = root->child(i);
        if (!child || child->state().invisible) continue;
        const QAccessible::Role role = child->role();
        EXPECT_NE(role, QAccessible::EditableText) << "a hidden edit box is exposed";
        if (role == QAccessible::PushButton || role == QAccessible::ComboBox ||
            role == QAccessible::ProgressBar) {
            EXPECT_FALSE(child->text(QAccessible::Name).isEmpty()) << "unnamed role " << role;
            ++named;
        }
    }
    EXPECT_EQ(named, 5);  // three buttons, the chooser, the bar
    for (Control box : {Control::编辑框A1, Control::编辑框2}) {
        QAccessibleInterface* hidden = QAccessible::queryAccessibleInterface(widget(box));
        ASSERT_NE(hidden, nullptr);
        EXPECT_TRUE(hidden->state().invisible) << static_cast<int>(box);
    }
}

TEST_F(WindowLayout, ConnectionCountBoxTakesWholeNumbersFromOneToHundred) {
    auto* validator = qobject_cast<const QIntValidator*>(window.controls().编辑框2->validator());
    ASSERT_NE(validator, nullptr);
    EXPECT_EQ(validator->bottom(), 1);
    EXPECT_EQ(validator->top(), 100);
}

}  // namespace
}  // namespace quorvane::ui
