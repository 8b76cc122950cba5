#pragma once

// Everything an operation works on: the shared state, the window's controls, the downloader and
// the operating system.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "app/globals.h"
#include "app/system.h"
#include "download/downloader.h"
#include "list/list_reader.h"
#include "ui/controls.h"

namespace quorvane {

// How long the list worker waits after a pass that found no usable list: from the first pause,
// doubling, to the longest.
struct RetryPauses {
    std::chrono::milliseconds first{1000};
    std::chrono::milliseconds longest{30'000};
};

struct Context {
    Context(Controls& controls, Downloader& downloader, System& system)
        : ui(controls), downloader(downloader), system(system) {}

    Globals g;
    Controls& ui;
    Downloader& downloader;
    System& system;
    ListReader list;
    RetryPauses retryPauses;

    // Set when the program ends: the list worker stops what it is doing.
    std::atomic<bool> stopRequested{false};

    // How the pauses between passes are waited out when set, instead of the clock: tests see
    // the pauses without sitting through them. Returns false to stop.
    std::function<bool(std::chrono::milliseconds)> retryWait;

    // Waits for the given time or until stop is requested; returns false when stopped.
    bool pauseUnlessStopped(std::chrono::milliseconds duration);
    void requestStop();

  private:
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
};

}  // namespace quorvane
