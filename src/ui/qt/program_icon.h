#pragma once

// The program icon: one image set of 128, 64, 48, 32 and 16 pixels, rendered from
// resources/quorvane-downloader.svg at build time. Window icon and notification-area icon.

#include <QIcon>

namespace quorvane::ui {

QIcon programIcon();

}  // namespace quorvane::ui
