#pragma once

// The end of a run, the same for every window and however the run ends (window closed, a signal,
// the display or the session gone): once, and in this order, so that no worker stays blocked on
// the window and the downloader is always released.

#include <functional>
#include <utility>

#include "app/program.h"

namespace quorvane::ui {

class ProgramEnd {
  public:
    // closeUiThread drops the engine's notifications still on their way to the window;
    // stopServingWorkers lets a worker blocked in a control call return.
    ProgramEnd(std::function<void()> closeUiThread, std::function<void()> stopServingWorkers,
               Program& program)
        : closeUiThread_(std::move(closeUiThread)),
          stopServingWorkers_(std::move(stopServingWorkers)),
          program_(program) {}

    ~ProgramEnd() { run(); }

    ProgramEnd(const ProgramEnd&) = delete;
    ProgramEnd& operator=(const ProgramEnd&) = delete;

    // Window's thread only; later calls do nothing.
    void run() {
        if (done_) return;
        done_ = true;
        closeUiThread_();
        stopServingWorkers_();
        program_.shutdown();        // joins the list worker
        program_.releaseGlobals();  // releases the downloader
    }

  private:
    std::function<void()> closeUiThread_;
    std::function<void()> stopServingWorkers_;
    Program& program_;
    bool done_ = false;
};

}  // namespace quorvane::ui
