// The program's entry: the window over the program's logic, and one orderly way out however the
// program ends (window closed or destroyed, a signal, the display gone), so that the downloader
// is always released and the list file deleted.

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>

#include "ui/program_run.h"
#include "ui/qt/application_setup.h"
#include "ui/qt/end_when_window_destroyed.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_ui_thread.h"
#include "ui/qt/quit_on_signals.h"
#include "ui/qt/single_instance.h"

namespace {

// Qt's own texts (dialog buttons, context menus) in Simplified Chinese, like the program's.
void loadQtTranslation(QApplication& app, QTranslator& translator) {
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    if (translator.load(QStringLiteral("qtbase_zh_CN"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        app.installTranslator(&translator);
    }
}

using ProgramRun = quorvane::ui::ProgramRun<quorvane::ui::QtUiThread, quorvane::ui::MainWindow>;

// Qt calls exit() itself only when it gives up, on a lost display connection inside the loop.
// Once the program's end has run, end there: tearing down the libraries' statics under
// WebEngine's still running threads can crash the process on its way out. Nothing in the end
// needs the display.
ProgramRun* endAtExit = nullptr;

void endWhenQtExits() {
    if (!endAtExit) return;
    endAtExit->end();
    std::fflush(nullptr);
    std::_Exit(EXIT_FAILURE);
}

// While it lives, an exit() from inside Qt ends the run.
class EndAtExit {
  public:
    explicit EndAtExit(ProgramRun& run) {
        endAtExit = &run;
        std::atexit(endWhenQtExits);
    }
    ~EndAtExit() { endAtExit = nullptr; }
    EndAtExit(const EndAtExit&) = delete;
    EndAtExit& operator=(const EndAtExit&) = delete;
};

}  // namespace

int main(int, char* argv[]) {
    // Chromium's sandbox cannot run as root; for everyone else it stays on.
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);  // WebEngine asks for it
    // The program takes nothing from the command line; Qt gets only its name, so that options
    // such as -reverse or -qwindowtitle change nothing.
    static char fallbackName[] = "quorvane-downloader";
    char* qtArguments[] = {argv[0] ? argv[0] : fallbackName, nullptr};
    int qtArgumentCount = 1;
    QApplication app(qtArgumentCount, qtArguments);
    QTranslator qtTranslation;
    loadQtTranslation(app, qtTranslation);
    quorvane::ui::describeApplication();
    // A second start only brings the first one's window forward.
    quorvane::ui::SingleInstance instance;
    if (!instance.first()) return instance.askFirstToShow() ? 0 : 1;

    ProgramRun run;
    quorvane::ui::MainWindow& window = run.window;
    const EndAtExit endAtQtExit(run);
    quorvane::ui::QuitOnSignals quitOnSignals;
    // exit, not quit: quit would ask the closing window once more whether it may close.
    QObject::connect(
        &window, &quorvane::ui::MainWindow::closeAccepted, &app, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);

    QObject::connect(&instance, &quorvane::ui::SingleInstance::showRequested, &window,
                     &quorvane::ui::MainWindow::comeToFront);

    run.program.onWindowCreated();
    window.showCentred();
    const quorvane::ui::EndWhenWindowDestroyed endWhenWindowDestroyed(window);
    return app.exec();
}
