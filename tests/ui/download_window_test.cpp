// The real window over the real program and engine, in the middle of a download.

#include <gtest/gtest.h>

#include <QString>
#include <QUrl>

#include <atomic>
#include <thread>

#include "app/protected_address.h"
#include "app/startup.h"
#include "download/download_start.h"
#include "download/engine_downloader.h"
#include "list/list_retrieval.h"
#include "list_server.h"
#include "platform/gbk_text.h"
#include "program_fixture.h"
#include "support/test_http_server.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_ui_thread.h"
#include "wait_until.h"

namespace quorvane::test {
namespace {

constexpr const char* kStartPage =
    "<html><head><meta charset='utf-8'></head><body style='font-family:sans-serif'>"
    "<h3>Quorvane 新版本客户端上线</h3><p>新地图、新职业，欢迎下载体验！</p></body></html>";

TEST(DownloadWindow, ShowsPercentageFileCountAndBarWhileDownloading) {
    ListServer webSite;
    webSite.serve("/downlist.htm", {200, kStartPage, "text/html; charset=utf-8"});
    quorvane::testing::TestHttpServer server;
    server.serve("/list", platform::utf8ToGbk(exampleList(server.url("/m1"), server.url("/m2"),
                                                          server.url("/m3"))));
    quorvane::testing::Faults throttled;
    throttled.bytesPerSecond = 512 << 10;
    server.servePattern("/m3/dl/client.part1.rar", 32 << 20, throttled);
    server.servePattern("/m3/dl/client.part2.rar", 1 << 20);

    TestSystem system;
    ui::QtUiThread uiThread;
    EngineDownloader downloader(uiThread);
#ifdef QUORVANE_SANITIZED_BUILD
    ui::MainWindow window{QUrl()};
#else
    ui::MainWindow window{QUrl(QString::fromStdString(webSite.url("/downlist.htm")))};
#endif
    Program program(window, downloader, system);
    window.setEvents(&program);
    Context& c = program.context();

    prepareStartUp(c);
    c.g.protectedSource1 = protectAddress(server.url("/list"), programProtectionKeys());
    std::atomic<bool> listShown{false};
    std::thread listWorker([&] {
        retrieveList(c);
        listShown = true;
    });
    window.showCentred();
    // The worker's calls into the window need this thread's event loop until it has ended.
    const bool shownInTime = ui::testing::waitUntil([&] { return listShown.load(); });
    if (!shownInTime) window.stopServingWorkers();
    listWorker.join();
    ASSERT_TRUE(shownInTime);
    // Ready and idle: nothing for the timers to do, and the start below still wakes them.
    EXPECT_TRUE(ui::testing::waitUntil([&] { return !window.timersTicking(); }));

    window.setChosenItem(2);
    program.applyEntrySettings();
    program.composeDownloadQueue();
    ASSERT_TRUE(ui::testing::waitUntil([&] { return window.position() >= 3; }, 60000));
    const std::string percentage = window.text(Control::下载进度透明标签);
    EXPECT_EQ(percentage.rfind("下载已完成：", 0), 0u) << percentage;
    EXPECT_EQ(percentage.back(), '%');
    EXPECT_EQ(window.text(Control::当前文件透明标签), "正在下载第1个文件，共2个文件");
    EXPECT_EQ(window.text(Control::解压哪个文件透明标签),
              "下载完成后，请解压缩这个文件：Quorvane客户端.part1.rar");
    EXPECT_TRUE(window.saveImage(QStringLiteral(QUORVANE_SCREENSHOT_FOLDER "/downloading.png")));

    stopRunningTransfer(c);
    server.releaseStalls();
    EXPECT_TRUE(ui::testing::waitUntil([&] { return !c.g.downloadRunning; }));
    EXPECT_EQ(window.position(), 0);
    EXPECT_TRUE(ui::testing::waitUntil([&] { return !window.timersTicking(); }));
    uiThread.close();
    window.stopServingWorkers();
    program.shutdown();
    program.releaseGlobals();
}

}  // namespace
}  // namespace quorvane::test
