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

#include "app/program.h"
#include "app/system.h"
#include "download/engine_downloader.h"
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

// The end of the run, once: after the event loop, or from exit() when Qt gives up on a lost
// display connection inside the loop. Nothing here needs the display.
class ProgramEnd {
  public:
    ProgramEnd(quorvane::ui::QtUiThread& uiThread, quorvane::ui::MainWindow& window,
               quorvane::Program& program)
        : uiThread_(uiThread), window_(window), program_(program) {
        current = this;
        // Qt calls exit() itself only when it gives up, on a lost display connection. Once the
        // clean-up has run, end there: tearing down the libraries' statics under WebEngine's
        // still running threads can crash the process on its way out.
        std::atexit([] {
            if (!current) return;
            current->run();
            std::fflush(nullptr);
            std::_Exit(EXIT_FAILURE);
        });
    }
    ~ProgramEnd() {
        run();
        current = nullptr;
    }
    ProgramEnd(const ProgramEnd&) = delete;
    ProgramEnd& operator=(const ProgramEnd&) = delete;

    void run() {
        if (done_) return;
        done_ = true;
        uiThread_.close();
        window_.stopServingWorkers();
        program_.shutdown();
        program_.releaseGlobals();
    }

  private:
    static inline ProgramEnd* current = nullptr;
    quorvane::ui::QtUiThread& uiThread_;
    quorvane::ui::MainWindow& window_;
    quorvane::Program& program_;
    bool done_ = false;
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

    quorvane::System system;
    quorvane::ui::QtUiThread uiThread;
    quorvane::EngineDownloader downloader(uiThread);
    quorvane::ui::MainWindow window;
    quorvane::Program program(window, downloader, system);
    window.setEvents(&program);
    ProgramEnd programEnd(uiThread, window, program);
    quorvane::ui::QuitOnSignals quitOnSignals;
    // exit, not quit: quit would ask the closing window once more whether it may close.
    QObject::connect(
        &window, &quorvane::ui::MainWindow::closeAccepted, &app, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);

    QObject::connect(&instance, &quorvane::ui::SingleInstance::showRequested, &window,
                     &quorvane::ui::MainWindow::comeToFront);

    program.onWindowCreated();
    window.showCentred();
    const quorvane::ui::EndWhenWindowDestroyed endWhenWindowDestroyed(window);
    return app.exec();
}
