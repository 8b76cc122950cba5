#pragma once

// Qt's way onto the window's thread for the worker-call gate: a queued call on the window object.

#include <memory>

#include "ui/worker_call_gate.h"

class QObject;

namespace quorvane::ui {

// Work is carried out on the thread that owns guiObject; once guiObject is gone, nothing is.
std::unique_ptr<WindowThreadQueue> windowThreadQueueOf(QObject* guiObject);

}  // namespace quorvane::ui
