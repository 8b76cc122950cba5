// The window's services under Wine: the DPI functions and their fallback, the web view's engine
// setting, the single-instance claim and the window thread's queue.

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "pump.h"
#include "ui/win32/dpi.h"
#include "ui/win32/main_window.h"
#include "ui/win32/single_instance.h"
#include "ui/win32/win32_ui_thread.h"

namespace quorvane::ui {
namespace {

using namespace std::chrono_literals;
using testing::pumpFor;
using testing::pumpUntil;

// Without the per-monitor functions (Windows 7 and 8.1) the window gets what they would give at
// the system's DPI, and at another DPI the system's metrics scaled to it.
TEST(DpiFunctionsTest, WithoutThePerMonitorFunctionsTheSystemsDpiGivesTheSameSizes) {
    const DpiFunctions& perMonitor = dpiFunctions();
    const DpiFunctions fallback(GetModuleHandleW(L"kernel32.dll"));  // has none of them
    const UINT system = perMonitor.systemDpi();
    EXPECT_EQ(fallback.systemDpi(), system);
    const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                        nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(fallback.windowDpi(window), perMonitor.windowDpi(window));
    DestroyWindow(window);

    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT expected{0, 0, 448, 432};
    RECT actual = expected;
    ASSERT_TRUE(perMonitor.adjustWindowRect(&expected, style, 0, system));
    ASSERT_TRUE(fallback.adjustWindowRect(&actual, style, 0, system));
    EXPECT_EQ(actual.right - actual.left, expected.right - expected.left);
    EXPECT_EQ(actual.bottom - actual.top, expected.bottom - expected.top);
    EXPECT_GT(actual.bottom - actual.top, 432) << "a frame and a title bar around the client area";

    for (const UINT dpi : {system, system * 3 / 2}) {
        SCOPED_TRACE(dpi);
        EXPECT_EQ(fallback.systemMetric(SM_CXICON, dpi), perMonitor.systemMetric(SM_CXICON, dpi));
        EXPECT_EQ(fallback.systemMetric(SM_CXSMICON, dpi),
                  perMonitor.systemMetric(SM_CXSMICON, dpi));
        NONCLIENTMETRICSW expectedFont{};
        NONCLIENTMETRICSW actualFont{};
        ASSERT_TRUE(perMonitor.nonClientMetrics(expectedFont, dpi));
        ASSERT_TRUE(fallback.nonClientMetrics(actualFont, dpi));
        EXPECT_EQ(actualFont.lfMessageFont.lfHeight, expectedFont.lfMessageFont.lfHeight);
        EXPECT_STREQ(actualFont.lfMessageFont.lfFaceName, expectedFont.lfMessageFont.lfFaceName);
    }
}

// Without a setting for the program file the WebBrowser control renders like Internet Explorer 7.
TEST(WebBrowserHostTest, AsksForTheNewestEngineForThisProgramFile) {
    constexpr wchar_t key[] =
        L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
    constexpr wchar_t name[] = L"quorvane_win32_ui_tests.exe";
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key, name);
    MainWindow window{L""};
    ASSERT_TRUE(window.create());
    DWORD mode = 0;
    DWORD size = sizeof mode;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &mode, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(mode, 11001u);
}

TEST(SingleInstanceTest, OnlyTheFirstClaimHoldsTheSessionUntilItEnds) {
    {
        const SingleInstance first;
        ASSERT_TRUE(first.first());
        const SingleInstance second;
        EXPECT_FALSE(second.first());
        EXPECT_FALSE(bringFirstRunToFront()) << "the first run has no window here";
    }
    const SingleInstance afterwards;
    EXPECT_TRUE(afterwards.first());
}

TEST(Win32UiThreadTest, RunsPostedTasksInOrderOnItsThreadUntilClosed) {
    Win32UiThread uiThread;
    const DWORD owner = GetCurrentThreadId();
    std::vector<int> order;
    std::atomic<bool> offThread{false};
    std::thread poster([&] {
        for (int i = 0; i < 5; ++i) {
            uiThread.post([&, i] {
                if (GetCurrentThreadId() != owner) offThread = true;
                order.push_back(i);
            });
        }
    });
    poster.join();
    ASSERT_TRUE(pumpUntil([&] { return order.size() == 5; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_FALSE(offThread);

    uiThread.post([&] { order.push_back(99); });
    uiThread.close();
    uiThread.post([&] { order.push_back(100); });
    pumpFor(100ms);
    EXPECT_EQ(order.size(), 5U) << "tasks queued at or after close are dropped";
}

}  // namespace
}  // namespace quorvane::ui
