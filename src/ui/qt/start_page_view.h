#pragma once

// 超文本浏览框1: shows a page of the game's web site. The program never navigates it; the user may
// follow links, which open in this same view (also links meant for a new window).

#include <QUrl>
#include <QWebEngineView>

namespace quorvane::ui {

class StartPageView final : public QWebEngineView {
    Q_OBJECT
  public:
    explicit StartPageView(QWidget* parent);

  protected:
    QWebEngineView* createWindow(QWebEnginePage::WebWindowType type) override;
};

}  // namespace quorvane::ui
