#pragma once

// Start-up of the program's state.

namespace quorvane {

struct Context;

// The settings record and the empty queue, as they stand before the window exists.
void initGlobals(Context& c);
// On the window's thread, before the list worker starts: the protected constants, the download
// folder, the flags, the queue and the notification-area icon.
void prepareStartUp(Context& c);
void clearQueues(Context& c);

}  // namespace quorvane
