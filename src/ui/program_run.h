#pragma once

// What every window's main puts together, in this order: the system's services, the window's
// thread for the engine's notifications, the downloader, the window and the program over it.
// And the end of the run, the same for every window however the run ends (window closed, a
// signal, the display or the session gone): once, and in its order, so that no worker stays
// blocked on the window and the downloader is always released.

#include "app/program.h"
#include "app/system.h"
#include "download/engine_downloader.h"

namespace quorvane::ui {

// WindowThread is the window's UiThread with close(); Window its Controls with setEvents() and
// stopServingWorkers(). Construct and end on the window's thread.
template <typename WindowThread, typename Window>
class ProgramRun {
  public:
    ProgramRun() { window.setEvents(&program); }
    ~ProgramRun() { end(); }

    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Later calls do nothing.
    void end() {
        if (ended_) return;
        ended_ = true;
        uiThread.close();             // the engine's notifications on their way are dropped
        window.stopServingWorkers();  // a worker blocked in a control call returns
        program.shutdown();           // joins the list worker
        program.releaseGlobals();     // releases the downloader
    }

    System system;
    WindowThread uiThread;
    EngineDownloader downloader{uiThread};
    Window window;
    Program program{window, downloader, system};

  private:
    bool ended_ = false;
};

}  // namespace quorvane::ui
