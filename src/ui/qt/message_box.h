#pragma once

// Modal message boxes with the platform's flag numbers, in Simplified Chinese.

#include <QString>

#include "ui/controls.h"

class QWidget;

namespace quorvane::ui {

// Shows the box modal to parent and returns the button pressed. The event loop keeps running
// meanwhile, so timers tick on. Closing a Yes/No box without a choice answers No.
MessageBoxAnswer showMessageBox(QWidget* parent, const QString& text, const QString& title,
                                MessageBoxFlags flags);

}  // namespace quorvane::ui
