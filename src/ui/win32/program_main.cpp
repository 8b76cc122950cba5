// The program's entry on Windows: the native window over the program's logic, and one orderly way
// out however the message loop ends (window closed, or the session ending), so that the
// downloader is always released.

#include <windows.h>

#include <ole2.h>

#include "app/program.h"
#include "app/system.h"
#include "download/engine_downloader.h"
#include "ui/program_end.h"
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
        quorvane::System system;
        quorvane::ui::Win32UiThread uiThread;
        quorvane::EngineDownloader downloader(uiThread);
        quorvane::ui::MainWindow window;
        quorvane::Program program(window, downloader, system);
        window.setEvents(&program);

        quorvane::ui::ProgramEnd programEnd([&] { uiThread.close(); },
                                            [&] { window.stopServingWorkers(); }, program);
        window.setSessionEndHandler([&] { programEnd.run(); });

        if (window.create()) {
            program.onWindowCreated();
            window.showCentred();
            exitCode = runMessageLoop(window);
        }
        programEnd.run();
    }
    if (oleReady) OleUninitialize();
    return exitCode;
}
