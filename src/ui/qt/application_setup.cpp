#include "ui/qt/application_setup.h"

#include <QGuiApplication>

namespace quorvane::ui {

void describeApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("quorvane-downloader"));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.0.0.0"));
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvane-downloader"));
}

}  // namespace quorvane::ui
