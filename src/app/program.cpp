#include "app/program.h"

#include <thread>

#include "app/context.h"
#include "app/startup.h"
#include "download/cancel_and_close.h"
#include "download/completion.h"
#include "download/download_queue.h"
#include "download/download_start.h"
#include "download/progress.h"
#include "list/file_operations.h"
#include "list/list_presentation.h"
#include "list/list_retrieval.h"

namespace quorvane {

struct ProgramState {
    std::thread listWorker;
    bool released = false;
};

Program::Program(Controls& controls, Downloader& downloader, System& system)
    : context_(std::make_unique<Context>(controls, downloader, system)),
      state_(std::make_unique<ProgramState>()) {
    initGlobals(*context_);
}

Program::~Program() {
    shutdown();
    releaseGlobals();
}

void Program::shutdown() {
    context_->requestStop();
    waitForListWorker();
    // Only now is nobody writing the list file any more.
    deleteIfExists(context_->system, context_->g.listFilePath);
}

void Program::releaseGlobals() {
    if (state_->released) return;
    state_->released = true;
    context_->downloader.ReleaseDownloader();
}

void Program::waitForListWorker() {
    if (state_->listWorker.joinable()) state_->listWorker.join();
}

Context& Program::context() {
    return *context_;
}

void Program::onWindowCreated() {
    prepareStartUp(*context_);
    if (!state_->listWorker.joinable()) {
        state_->listWorker = std::thread([this] { retrieveList(*context_); });
    }
}

bool Program::onCloseRequest() {
    return quorvane::onCloseRequest(*context_);
}
void Program::onTrayEvent(TrayEvent kind) {
    quorvane::onTrayEvent(*context_, kind);
}
void Program::applyEntrySettings() {
    quorvane::applyEntrySettings(*context_);
}
void Program::clampConnectionCount() {
    quorvane::clampConnectionCount(*context_);
}
void Program::composeDownloadQueue() {
    quorvane::composeDownloadQueue(*context_);
}
void Program::onCancelClicked() {
    quorvane::onCancelClicked(*context_);
}
void Program::openDownloadFolder() {
    quorvane::openDownloadFolder(*context_);
}
void Program::showProgress() {
    quorvane::showProgress(*context_);
}
void Program::onMultiFileTimerTick() {
    quorvane::onMultiFileTimerTick(*context_);
}
// The progress update acts only while a file is being downloaded, the multi-file tick only while
// the queue holds something; a file is only ever started by that tick.
bool Program::timersHaveWork() {
    const Globals& g = context_->g;
    return g.downloadRunning || g.queueBuilding || !g.queueSources.empty();
}

}  // namespace quorvane
