#pragma once

// One program a session. The first start holds a named mutex for its whole run; a later start
// brings the first one's window to the front and ends, so that two windows never download the
// same archive side by side. The installer looks for the same mutex and window class to find a
// running program.

#include <windows.h>

namespace quorvane::ui {

// Per session ("Local\"): another user's program on the same machine is not this one.
inline constexpr wchar_t kInstanceMutexName[] = L"Local\\QuorvaneDownloader";
// What a later start posts to the first one's window, registered under this name.
inline constexpr wchar_t kShowWindowMessageName[] = L"QuorvaneDownloader.ShowWindow";

class SingleInstance {
  public:
    // Claims the session's mutex, held until destruction.
    SingleInstance();
    ~SingleInstance();

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another run of the program holds the mutex.
    bool first() const { return first_; }

  private:
    HANDLE mutex_ = nullptr;
    bool first_ = true;
};

// Asks the window of the run that holds the mutex to come to the front, restored if it was
// minimised or hidden; waits a few seconds for a run that has not made its window yet. False when
// no window was found.
bool bringFirstRunToFront();

}  // namespace quorvane::ui
