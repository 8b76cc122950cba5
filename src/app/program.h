#pragma once

// The program: its global state and the operations every window event starts. It owns the one
// list-retrieval worker and shuts it down cleanly.

#include <memory>

#include "ui/window_events.h"

namespace quorvane {

class Controls;
class Downloader;
class System;
struct Context;
struct ProgramState;

class Program final : public WindowEvents {
  public:
    // Runs initGlobals. The references must outlive the program.
    Program(Controls& controls, Downloader& downloader, System& system);
    // Runs shutdown and releaseGlobals if the caller has not.
    ~Program() override;

    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Ends the list-retrieval worker (a read or pause under way is cut short) and waits for it.
    // The window must have stopped serving the worker's control calls first, so that a call it
    // is blocked in returns. Safe to call more than once.
    void shutdown();

    // Releases the downloader exactly once, whichever way the program ends.
    void releaseGlobals();

    // WindowEvents
    void onWindowCreated() override;
    bool onCloseRequest() override;
    void onTrayEvent(TrayEvent kind) override;
    void applyEntrySettings() override;
    void clampConnectionCount() override;
    void composeDownloadQueue() override;
    void onCancelClicked() override;
    void openDownloadFolder() override;
    void showProgress() override;
    void onMultiFileTimerTick() override;
    bool timersHaveWork() override;

    // For tests: the state the operations share.
    Context& context();
    // For tests: waits until the list-retrieval worker has ended.
    void waitForListWorker();

  private:
    std::unique_ptr<Context> context_;
    std::unique_ptr<ProgramState> state_;
};

}  // namespace quorvane
