#pragma once

// How the windows run a control operation that may come from a worker thread: directly on the
// window's thread, otherwise through the window's worker-call gate (Qt's or Win32's), which
// waits until the window's thread has run it.

namespace quorvane::ui {

// A call the gate no longer serves yields fallback.
template <typename Gate, typename Result, typename Work>
Result callOnGuiThread(Gate& gate, Result fallback, Work&& work) {
    if (gate.onGuiThread()) return work();
    Result result = fallback;
    // Capturing by reference is safe: the work runs only while this thread waits for it.
    gate.runOnGuiThread([&] { result = work(); });
    return result;
}

template <typename Gate, typename Work>
void callOnGuiThread(Gate& gate, Work&& work) {
    if (gate.onGuiThread()) {
        work();
        return;
    }
    gate.runOnGuiThread([&] { work(); });
}

}  // namespace quorvane::ui
