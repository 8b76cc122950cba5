#pragma once

// Cancelling a download, closing the window, and the notification-area icon's click.

#include "ui/controls.h"

namespace quorvane {

struct Context;

void onCancelClicked(Context& c);
// False keeps the window open. When it returns true the program ends: the caller stops the
// list worker and releases the downloader, which removes an unfinished transfer's file.
bool onCloseRequest(Context& c);
void onTrayEvent(Context& c, TrayEvent kind);

}  // namespace quorvane
