// The program's entry: the window over the program's logic, and one orderly way out however the
// event loop ends (window closed, SIGINT or SIGTERM), so that the downloader is always released.

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <unistd.h>

#include "app/program.h"
#include "app/system.h"
#include "download/engine_downloader.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_ui_thread.h"
#include "ui/qt/quit_on_signals.h"

namespace {

void setApplicationMetadata() {
    QCoreApplication::setApplicationName(QStringLiteral("quorvane-downloader"));
    QCoreApplication::setApplicationVersion(QStringLiteral("3.0.0.0"));
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Quorvane下载器"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quorvane-downloader"));
}

// Qt's own texts (dialog buttons, context menus) in Simplified Chinese, like the program's.
void loadQtTranslation(QApplication& app, QTranslator& translator) {
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    if (translator.load(QStringLiteral("qtbase_zh_CN"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        app.installTranslator(&translator);
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    // Chromium's sandbox cannot run as root; for everyone else it stays on.
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);  // WebEngine asks for it
    QApplication app(argc, argv);
    QTranslator qtTranslation;
    loadQtTranslation(app, qtTranslation);
    setApplicationMetadata();

    quorvane::System system;
    quorvane::ui::QtUiThread uiThread;
    quorvane::EngineDownloader downloader(uiThread);
    quorvane::ui::MainWindow window;
    quorvane::Program program(window, downloader, system);
    window.setEvents(&program);
    quorvane::ui::QuitOnSignals quitOnSignals;
    QObject::connect(&window, &quorvane::ui::MainWindow::closeAccepted, &app,
                     &QCoreApplication::quit, Qt::QueuedConnection);

    program.onWindowCreated();
    window.showCentred();
    const int exitCode = app.exec();

    uiThread.close();
    window.stopServingWorkers();
    program.shutdown();
    program.releaseGlobals();
    return exitCode;
}
