// The native window under Wine: the controls as defined, the event rules the program's logic
// relies on, calls from worker threads, message boxes, timers, closing and the tray messages.

#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/windows_path_win32.h"
#include "pump.h"
#include "recording_events.h"
#include "ui/win32/dpi.h"
#include "ui/win32/main_window.h"
#include "ui/win32/single_instance.h"
#include "ui/win32/tray_icon.h"
#include "ui/win32/win32_ui_thread.h"

namespace quorvane::ui {
namespace {

using namespace std::chrono_literals;
using testing::pumpFor;
using testing::pumpUntil;
using testing::RecordingEvents;

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.setEvents(&events);
        ASSERT_TRUE(window.create());
        window.showCentred();
    }

    RECT clientRect(Control control) {
        RECT r{};
        const HWND child = window.controls().handle(control);
        GetWindowRect(child, &r);
        MapWindowPoints(HWND_DESKTOP, window.handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    // Pixels of a blue text inside a control's box, read back from the window's screen image:
    // clearly more blue than red. Grey (disabled-looking) text and the background have none.
    int bluePixels(Control control) {
        UpdateWindow(window.handle());
        const RECT r = clientRect(control);
        const HDC dc = GetDC(window.handle());
        int count = 0;
        for (int y = r.top; y < r.bottom; ++y) {
            for (int x = r.left; x < r.right; ++x) {
                const COLORREF pixel = GetPixel(dc, x, y);
                if (GetBValue(pixel) > GetRValue(pixel) + 40) {
                    ++count;
                }
            }
        }
        ReleaseDC(window.handle(), dc);
        return count;
    }

    RecordingEvents events;
    MainWindow window{L""};
};

TEST_F(MainWindowTest, HasTheDefinedFrameClientAreaAndControls) {
    RECT client{};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, 448);
    EXPECT_EQ(client.bottom, 432);
    const LONG style = GetWindowLongW(window.handle(), GWL_STYLE);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    wchar_t caption[64] = {};
    GetWindowTextW(window.handle(), caption, 64);
    EXPECT_STREQ(caption, L"Quorvane下载器");

    // The definition's places, written out here so that the window's table is checked.
    const std::pair<Control, RECT> places[] = {
        {Control::超文本浏览框1, {8, 8, 440, 228}},
        {Control::透明标签1, {8, 238, 440, 258}},
        {Control::组合框1, {8, 268, 440, 288}},
        {Control::解压哪个文件透明标签, {8, 297, 440, 321}},
        {Control::下载进度透明标签, {8, 324, 224, 348}},
        {Control::当前文件透明标签, {224, 324, 440, 348}},
        {Control::进度条, {7, 356, 440, 380}},
        {Control::超级按钮_接收, {13, 392, 96, 420}},
        {Control::超级按钮_取消, {120, 392, 203, 420}},
        {Control::超级按钮_打开已下载文件, {224, 392, 432, 420}},
        {Control::编辑框A1, {392, 500, 400, 516}},
    };
    for (const auto& [control, expected] : places) {
        const RECT actual = clientRect(control);
        EXPECT_EQ(actual.left, expected.left) << static_cast<int>(control);
        EXPECT_EQ(actual.top, expected.top) << static_cast<int>(control);
        EXPECT_EQ(actual.right, expected.right) << static_cast<int>(control);
        EXPECT_EQ(actual.bottom, expected.bottom) << static_cast<int>(control);
        // The address box sits below the client area and is hidden as well.
        EXPECT_EQ(IsWindowVisible(window.controls().handle(control)) != FALSE,
                  control != Control::编辑框A1);
    }
    for (Control hidden : {Control::编辑框2, Control::标签3, Control::标签4, Control::标签1}) {
        EXPECT_FALSE(IsWindowVisible(window.controls().handle(hidden)));
    }
    EXPECT_TRUE(window.isDisabled(Control::透明标签1));
    EXPECT_FALSE(window.isDisabled(Control::超级按钮_接收));
    EXPECT_EQ(window.text(Control::透明标签1), "正在读取文件列表，请稍候！(1)");
    EXPECT_EQ(window.text(Control::超级按钮_打开已下载文件), "打开下载文件保存的文件夹");
    EXPECT_EQ(window.text(Control::编辑框2), "10");
    EXPECT_EQ(window.chosenItem(), -1);
}

TEST_F(MainWindowTest, TransparentLabelsKeepTheirColourAndLeaveNoOldTextBehind) {
    window.setText(Control::下载进度透明标签, "下载已完成：100%");
    pumpFor(100ms);
    EXPECT_GT(bluePixels(Control::下载进度透明标签), 20) << "blue although disabled";
    window.setText(Control::下载进度透明标签, "");
    pumpFor(100ms);
    EXPECT_EQ(bluePixels(Control::下载进度透明标签), 0);
}

// The progress timer writes the same texts on every tick; only a change is drawn again.
TEST_F(MainWindowTest, ALabelIsDrawnAgainOnlyWhenItsTextChanges) {
    const HWND label = window.controls().handle(Control::当前文件透明标签);
    window.setText(Control::当前文件透明标签, "正在下载第1个文件，共2个文件");
    UpdateWindow(window.handle());
    ASSERT_FALSE(GetUpdateRect(label, nullptr, FALSE));
    window.setText(Control::当前文件透明标签, "正在下载第1个文件，共2个文件");
    EXPECT_FALSE(GetUpdateRect(label, nullptr, FALSE)) << "the same text was drawn again";
    window.setText(Control::当前文件透明标签, "正在下载第2个文件，共2个文件");
    EXPECT_TRUE(GetUpdateRect(label, nullptr, FALSE));
    EXPECT_EQ(window.text(Control::当前文件透明标签), "正在下载第2个文件，共2个文件");
}

TEST_F(MainWindowTest, WorkerCallsRunOnTheWindowsThreadBeforeTheyReturn) {
    const DWORD windowThread = GetCurrentThreadId();
    std::vector<DWORD> clampThreads;
    events.onClamp = [&] {
        clampThreads.push_back(GetCurrentThreadId());
        // The program's rule: more than 10 becomes 10.
        if (window.text(Control::编辑框2) == "55") window.setText(Control::编辑框2, "10");
    };
    std::string seenByWorker;
    int chosenSeenByWorker = -2;
    int positionSeenByWorker = -1;
    bool disabledSeenByWorker = false;
    auto worker = std::async(std::launch::async, [&] {
        window.addItem("Quorvane客户端(网通下载)");
        window.addItem("Quorvane客户端(联通下载)");
        window.setChosenItem(1);
        chosenSeenByWorker = window.chosenItem();
        window.setText(Control::编辑框2, "55");
        seenByWorker = window.text(Control::编辑框2);
        window.setPosition(250);
        positionSeenByWorker = window.position();
        window.setDisabled(Control::超级按钮_接收, true);
        disabledSeenByWorker = window.isDisabled(Control::超级按钮_接收);
    });
    ASSERT_TRUE(pumpUntil([&] { return worker.wait_for(0s) == std::future_status::ready; }));

    EXPECT_EQ(chosenSeenByWorker, 1);
    EXPECT_EQ(window.text(Control::组合框1), "Quorvane客户端(联通下载)");
    EXPECT_EQ(seenByWorker, "10") << "the correction ran before the write returned";
    EXPECT_EQ(positionSeenByWorker, 100) << "the bar stops at its end";
    EXPECT_TRUE(disabledSeenByWorker);
    ASSERT_FALSE(clampThreads.empty());
    for (DWORD thread : clampThreads) EXPECT_EQ(thread, windowThread);
    EXPECT_EQ(events.entrySettings, 0) << "choosing from the program fires nothing";
}

TEST_F(MainWindowTest, TheUsersChoiceFiresTheChosenItemEvent) {
    window.addItem("一");
    window.addItem("二");
    window.setChosenItem(0);
    pumpFor(50ms);
    EXPECT_EQ(events.entrySettings, 0);
    const HWND chooser = window.controls().handle(Control::组合框1);
    SendMessageW(chooser, WM_KEYDOWN, VK_DOWN, 0);
    pumpFor(50ms);
    EXPECT_EQ(window.chosenItem(), 1);
    EXPECT_EQ(events.entrySettings, 1);
}

TEST_F(MainWindowTest, StoppingReleasesAWorkerBlockedInACallWithoutRunningIt) {
    // The window's thread does not serve the call: it is busy closing.
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        window.setText(Control::透明标签1, "不应出现");
        returned = true;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(returned);
    window.stopServingWorkers();
    worker.join();
    EXPECT_TRUE(returned);
    pumpFor(50ms);
    EXPECT_EQ(window.text(Control::透明标签1), "正在读取文件列表，请稍候！(1)");

    // Later calls from workers return the values of an empty, disabled window at once.
    auto later = std::async(std::launch::async, [&] {
        return std::make_pair(window.text(Control::超级按钮_接收),
                              window.isDisabled(Control::超级按钮_接收));
    });
    ASSERT_EQ(later.wait_for(5s), std::future_status::ready);
    const auto [text, disabled] = later.get();
    EXPECT_EQ(text, "");
    EXPECT_TRUE(disabled);
}

// Answers the message box that the window shows next, from another thread, as a user would.
std::future<std::pair<std::wstring, std::wstring>> answerNextBox(HWND owner, int button) {
    return std::async(std::launch::async, [owner, button] {
        for (int tries = 0; tries < 500; ++tries) {
            HWND box = nullptr;
            EnumThreadWindows(
                GetWindowThreadProcessId(owner, nullptr),
                [](HWND candidate, LPARAM found) -> BOOL {
                    wchar_t name[16] = {};
                    GetClassNameW(candidate, name, 16);
                    if (std::wstring(name) != L"#32770" || !IsWindowVisible(candidate)) return TRUE;
                    *reinterpret_cast<HWND*>(found) = candidate;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&box));
            if (box) {
                // As slow as a user, so that the window's timers get to tick under the box.
                std::this_thread::sleep_for(300ms);
                wchar_t title[128] = {};
                wchar_t text[256] = {};
                GetWindowTextW(box, title, 128);
                GetDlgItemTextW(box, 0xFFFF, text, 256);
                const bool owned = GetWindow(box, GW_OWNER) == owner;
                PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
                return std::make_pair(std::wstring(owned ? title : L"(not owned)"),
                                      std::wstring(text));
            }
            std::this_thread::sleep_for(20ms);
        }
        return std::make_pair(std::wstring(), std::wstring());
    });
}

TEST_F(MainWindowTest, MessageBoxesCarryTheirTitleAndAnswerWhileTimersTickOn) {
    auto question = answerNextBox(window.handle(), IDYES);
    const int ticksBefore = events.progressTicks;
    const auto answer =
        window.messageBox("下载已完成：37%，要取消下载吗？", "是否取消下载", kYesNoQuestion);
    EXPECT_EQ(answer, MessageBoxAnswer::yes);
    const auto [title, text] = question.get();
    EXPECT_EQ(title, L"是否取消下载");
    EXPECT_EQ(text, L"下载已完成：37%，要取消下载吗？");
    EXPECT_GT(events.progressTicks, ticksBefore);

    auto refusal = answerNextBox(window.handle(), IDNO);
    EXPECT_EQ(window.messageBox("正在下载中，要取消下载吗？", "正在下载文件", kYesNoQuestion),
              MessageBoxAnswer::no);
    EXPECT_EQ(refusal.get().first, L"正在下载文件");

    // From a worker, the box is still owned by the window and answered there.
    auto notice = answerNextBox(window.handle(), IDOK);
    auto fromWorker = std::async(std::launch::async, [&] {
        return window.messageBox("磁盘可用空间不足", "提示", kInformation);
    });
    ASSERT_TRUE(pumpUntil([&] { return fromWorker.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(fromWorker.get(), MessageBoxAnswer::ok);
    EXPECT_EQ(notice.get().first, L"提示");
}

TEST_F(MainWindowTest, TimersTickWhileThereIsWorkAndRestUntilSomethingMayGiveThemSome) {
    // As fast as Windows lets them (10 ms at least), with room for a loaded machine.
    ASSERT_TRUE(
        pumpUntil([&] { return events.progressTicks >= 10 && events.multiFileTicks >= 10; }, 5s));

    events.work = false;
    ASSERT_TRUE(pumpUntil([&] { return !window.timersTicking(); }));
    const int resting = events.progressTicks + events.multiFileTicks;
    pumpFor(100ms);
    EXPECT_EQ(events.progressTicks + events.multiFileTicks, resting);

    const HWND start = window.controls().handle(Control::超级按钮_接收);
    const std::pair<const char*, std::function<void()>> wakers[] = {
        {"a text written", [&] { window.setText(Control::透明标签1, "x"); }},
        {"a button enabled", [&] { window.setDisabled(Control::超级按钮_接收, false); }},
        {"the bar moved", [&] { window.setPosition(5); }},
        {"an item added", [&] { window.addItem("甲"); }},
        {"start pressed", [&] { SendMessageW(start, BM_CLICK, 0, 0); }},
    };
    for (const auto& [what, wake] : wakers) {
        SCOPED_TRACE(what);
        const int progressTicks = events.progressTicks;
        const int multiFileTicks = events.multiFileTicks;
        wake();
        EXPECT_TRUE(pumpUntil([&] {
            return events.progressTicks > progressTicks && events.multiFileTicks > multiFileTicks;
        }));
        EXPECT_TRUE(pumpUntil([&] { return !window.timersTicking(); }));
    }

    // Work found on a tick keeps them going.
    events.work = true;
    window.setText(Control::透明标签1, "y");
    const int ticks = events.progressTicks;
    EXPECT_TRUE(pumpUntil([&] { return events.progressTicks >= ticks + 5; }));
    EXPECT_TRUE(window.timersTicking());
}

TEST_F(MainWindowTest, ACloseGoesAheadOnlyWhenTheProgramAgrees) {
    events.allowClose = false;
    SendMessageW(window.handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(events.closeRequests, 1);
    EXPECT_TRUE(IsWindowVisible(window.handle()));
    EXPECT_FALSE(window.closeAccepted());

    events.allowClose = true;
    SendMessageW(window.handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(events.closeRequests, 2);
    EXPECT_TRUE(window.closeAccepted());
    EXPECT_FALSE(IsWindowVisible(window.handle()));
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(MainWindowTest, TrayClicksReachTheProgramAndRestoreTheWindow) {
    SendMessageW(window.handle(), kTrayMessage, 1, WM_MOUSEMOVE);
    SendMessageW(window.handle(), kTrayMessage, 1, WM_LBUTTONUP);
    SendMessageW(window.handle(), kTrayMessage, 1, WM_RBUTTONUP);
    EXPECT_EQ(events.trayKinds, (std::vector<TrayEvent>{TrayEvent::click, TrayEvent::contextMenu}));

    window.setWindowState(WindowState::minimised);
    pumpFor(50ms);
    EXPECT_TRUE(IsIconic(window.handle()));
    window.showWindow();
    window.setWindowState(WindowState::normal);
    pumpFor(50ms);
    EXPECT_FALSE(IsIconic(window.handle()));
    EXPECT_TRUE(IsWindowVisible(window.handle()));
}

// What a second start of the program posts: the window comes back, in front, from minimised or
// hidden, but not once its close was granted.
TEST_F(MainWindowTest, ALaterStartBringsTheWindowBackUnlessItIsClosing) {
    const UINT showRequest = RegisterWindowMessageW(kShowWindowMessageName);
    window.setWindowState(WindowState::minimised);
    pumpFor(50ms);
    ASSERT_TRUE(IsIconic(window.handle()));
    PostMessageW(window.handle(), showRequest, 0, 0);
    EXPECT_TRUE(pumpUntil([&] { return !IsIconic(window.handle()); }, 5s));
    EXPECT_TRUE(IsWindowVisible(window.handle()));

    ShowWindow(window.handle(), SW_HIDE);
    PostMessageW(window.handle(), showRequest, 0, 0);
    EXPECT_TRUE(pumpUntil([&] { return IsWindowVisible(window.handle()) != FALSE; }, 5s));

    events.allowClose = true;
    SendMessageW(window.handle(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(window.closeAccepted());
    PostMessageW(window.handle(), showRequest, 0, 0);
    pumpFor(100ms);
    EXPECT_FALSE(IsWindowVisible(window.handle()));
}

// The page's own window inside the web view's container gets its keys before the dialog
// handling; everywhere else Tab moves between the controls. (Wine has no browser engine here, so
// a plain child window stands in for the page.)
TEST_F(MainWindowTest, KeysOfThePageGoToTheBrowserAndPastTheDialogHandling) {
    const HWND container = window.controls().handle(Control::超文本浏览框1);
    EXPECT_FALSE(GetWindowLongW(container, GWL_STYLE) & WS_TABSTOP) << "Tab would stop on it";
    const HWND page = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20,
                                      container, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(page);
    MSG tab{page, WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_FALSE(window.preTranslate(tab)) << "the dialog handling took Tab from the page";

    const HWND start = window.controls().handle(Control::超级按钮_接收);
    SetFocus(start);
    tab.hwnd = start;
    EXPECT_TRUE(window.preTranslate(tab));
    EXPECT_NE(GetFocus(), start) << "Tab moves on from the start button";
    DestroyWindow(page);
}

// Whether the notification area holds the window's icon: changing a missing icon fails.
bool trayHoldsIcon(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 1;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

TEST_F(MainWindowTest, TheTrayIconComesBackWhenTheTaskbarIsCreatedAgain) {
    const std::string tip = "正在下载第1个文件，共2个文件\r\n下载已完成：37%";
    if (!window.setTrayIcon(tip)) GTEST_SKIP() << "no notification area on this display";
    EXPECT_EQ(window.trayTip(), platform::wideFromUtf8(tip));
    ASSERT_TRUE(trayHoldsIcon(window.handle()));

    // Explorer restarts: its notification area starts out empty.
    NOTIFYICONDATAW lost{};
    lost.cbSize = sizeof lost;
    lost.hWnd = window.handle();
    lost.uID = 1;
    Shell_NotifyIconW(NIM_DELETE, &lost);
    ASSERT_FALSE(trayHoldsIcon(window.handle()));
    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    SendMessageW(window.handle(), taskbarCreated, 0, 0);
    EXPECT_TRUE(trayHoldsIcon(window.handle()));
    EXPECT_EQ(window.trayTip(), platform::wideFromUtf8(tip));

    // A removed icon stays away.
    window.removeTrayIcon();
    EXPECT_FALSE(trayHoldsIcon(window.handle()));
    SendMessageW(window.handle(), taskbarCreated, 0, 0);
    EXPECT_FALSE(trayHoldsIcon(window.handle()));
}

}  // namespace
}  // namespace quorvane::ui
