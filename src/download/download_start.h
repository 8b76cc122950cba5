#pragma once

// Hands the queue's files to the downloader one at a time and handles its notifications.

namespace quorvane {

struct Context;
struct DownloadEvent;

// A tick of 多文件下载时钟: starts the first unfinished pair unless the queue is being built.
void onMultiFileTimerTick(Context& c);
void startNextDownload(Context& c);

// The downloader's notifications, on the window's thread. Always returns 0.
int onDownloadEvent(Context& c, const DownloadEvent& event);

// Stops the running transfer and drops the queue; the window is reset by the end notification.
void stopRunningTransfer(Context& c);

}  // namespace quorvane
