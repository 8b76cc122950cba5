#include "ui/qt/end_when_window_destroyed.h"

#include <QCoreApplication>
#include <QWidget>

#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define QUORVANE_HAVE_XCB 1
#endif

namespace quorvane::ui {

EndWhenWindowDestroyed::EndWhenWindowDestroyed(QWidget& window) : window_(window) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

EndWhenWindowDestroyed::~EndWhenWindowDestroyed() {
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool EndWhenWindowDestroyed::nativeEventFilter(const QByteArray& eventType, void* message,
                                               qintptr*) {
#ifdef QUORVANE_HAVE_XCB
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_DESTROY_NOTIFY) return false;
    const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
    // Only the window's own native window counts; winId() would create one that is not there.
    if (!window_.testAttribute(Qt::WA_WState_Created) ||
        destroyed->window != static_cast<xcb_window_t>(window_.internalWinId())) {
        return false;
    }
    // exit, not quit: quit would ask the window, which is gone, whether it may close.
    QCoreApplication::exit(0);
#else
    Q_UNUSED(eventType);
    Q_UNUSED(message);
#endif
    return false;
}

}  // namespace quorvane::ui
