#include "ui/qt/start_page_view.h"

namespace quorvane::ui {

StartPageView::StartPageView(QWidget* parent) : QWebEngineView(parent) {
    // Reached with Tab like the chooser and the buttons; the page's own widget takes the focus.
    setFocusPolicy(Qt::StrongFocus);
}

QWebEngineView* StartPageView::createWindow(QWebEnginePage::WebWindowType) {
    // The program opens no second window: a link aimed at a new one loads here.
    return this;
}

}  // namespace quorvane::ui
