#pragma once

// 超文本浏览框1 on Windows: the system's WebBrowser control, hosted in a child window through
// plain COM (an OLE client site written out here, no ATL), set to render with the system's newest
// engine; links that ask for a new window open in the user's browser. Where the system has no
// browser control nothing is created and the child window stays empty.

#include <windows.h>

#include <memory>
#include <string>

struct IConnectionPoint;
struct IOleObject;
struct IWebBrowser2;

namespace quorvane::ui {

class BrowserSite;

class WebBrowserHost {
  public:
    // Needs OleInitialize on this thread. Returns nothing when the control cannot be created.
    static std::unique_ptr<WebBrowserHost> create(HWND container, const std::wstring& address);
    ~WebBrowserHost();

    WebBrowserHost(const WebBrowserHost&) = delete;
    WebBrowserHost& operator=(const WebBrowserHost&) = delete;

    // Fits the control to its container again, after the container was resized.
    void fitToContainer();

    // Offers a key of the page to the browser's accelerators (Tab between its links, Ctrl+C);
    // true when the browser took it.
    bool translateKey(MSG& message);

  private:
    explicit WebBrowserHost(HWND container);
    void listenToEvents();

    HWND container_;
    BrowserSite* site_ = nullptr;
    IOleObject* object_ = nullptr;
    IWebBrowser2* browser_ = nullptr;
    IConnectionPoint* events_ = nullptr;
    DWORD eventsCookie_ = 0;
};

}  // namespace quorvane::ui
