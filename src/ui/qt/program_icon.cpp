#include "ui/qt/program_icon.h"

#include <array>

// The icons live in a resource inside a static library: naming it here makes the linker keep it.
// Outside any namespace, as Qt's macro requires.
static void registerIconResource() {
    Q_INIT_RESOURCE(quorvane_icons);
}

namespace quorvane::ui {

QIcon programIcon() {
    static constexpr std::array kSizes{128, 64, 48, 32, 16};
    registerIconResource();
    QIcon icon;
    for (int size : kSizes) {
        icon.addFile(QStringLiteral(":/quorvane/icons/%1/quorvane-downloader.png").arg(size),
                     QSize(size, size));
    }
    return icon;
}

}  // namespace quorvane::ui
