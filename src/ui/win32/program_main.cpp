// The program's entry on Windows: the native window over the program's logic, and one orderly way
// out however the message loop ends (window closed, or the session ending), so that the
// downloader is always released.

#include <windows.h>

#include <ole2.h>

#include "ui/program_run.h"
#include "ui/win32/main_window.h"
#include "ui/win32/single_instance.h"
#include "ui/win32/win32_ui_thread.h"

namespace {

int runMessageLoop(quorvane::ui::MainWindow& window) {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (window.preTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // A second start only brings the first one's window forward.
    const quorvane::ui::SingleInstance instance;
    if (!instance.first()) {
        quorvane::ui::bringFirstRunToFront();
        return 0;
    }
    // The browser control wants a single-threaded apartment with OLE.
    const bool oleReady = SUCCEEDED(OleInitialize(nullptr));
    int exitCode = 1;
    {
        quorvane::ui::ProgramRun<quorvane::ui::Win32UiThread, quorvane::ui::MainWindow> run;
        run.window.setSessionEndHandler([&run] { run.end(); });
        if (run.window.create()) {
            run.program.onWindowCreated();
            run.window.showCentred();
            exitCode = runMessageLoop(run.window);
        }
        run.end();
    }
    if (oleReady) OleUninitialize();
    return exitCode;
}
