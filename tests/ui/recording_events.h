#pragma once

// WindowEvents for the window's tests: counts every event and lets a test hook the ones whose
// timing matters.

#include <functional>
#include <vector>

#include "ui/window_events.h"

namespace quorvane::ui::testing {

struct RecordingEvents final : WindowEvents {
    int windowCreated = 0;
    int closeRequests = 0;
    bool allowClose = true;
    std::vector<TrayEvent> trayKinds;
    int entrySettings = 0;
    int clamps = 0;
    int queues = 0;
    int cancels = 0;
    int folderOpens = 0;
    int progressTicks = 0;
    int multiFileTicks = 0;
    std::function<void()> onClamp;
    std::function<void()> onProgressTick;
    bool work = true;  // what timersHaveWork answers

    void onWindowCreated() override { ++windowCreated; }
    bool onCloseRequest() override {
        ++closeRequests;
        return allowClose;
    }
    void onTrayEvent(TrayEvent kind) override { trayKinds.push_back(kind); }
    void applyEntrySettings() override { ++entrySettings; }
    void clampConnectionCount() override {
        ++clamps;
        if (onClamp) onClamp();
    }
    void composeDownloadQueue() override { ++queues; }
    void onCancelClicked() override { ++cancels; }
    void openDownloadFolder() override { ++folderOpens; }
    void showProgress() override {
        ++progressTicks;
        if (onProgressTick) onProgressTick();
    }
    void onMultiFileTimerTick() override { ++multiFileTicks; }
    bool timersHaveWork() override { return work; }
};

}  // namespace quorvane::ui::testing
