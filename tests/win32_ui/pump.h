#pragma once

// Runs the test thread's message loop, as the program's loop would, until a condition holds.

#include <windows.h>

#include <chrono>

namespace quorvane::ui::testing {

template <typename Condition>
bool pumpUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;  // a granted close; the test goes on
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

inline void pumpFor(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    pumpUntil([&] { return std::chrono::steady_clock::now() > end; }, duration * 2);
}

}  // namespace quorvane::ui::testing
