#include "ui/win32/web_browser_host.h"

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmhst.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#include <shellapi.h>

#include <string>

namespace quorvane::ui {

namespace {

constexpr wchar_t kEmulationKey[] =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
// Internet Explorer 11 in its own mode, whatever the page's doctype says.
constexpr DWORD kNewestEngine = 11001;

// The name of the running program file, without its folder.
std::wstring programFileName() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Without a setting for the program file the control renders like Internet Explorer 7. The
// setting is the user's own and needs no administrator rights.
void useNewestRenderingEngine() {
    const std::wstring name = programFileName();
    if (name.empty()) return;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kEmulationKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&kNewestEngine),
                   sizeof kNewestEngine);
    RegCloseKey(key);
}

// Only web addresses leave the page for the user's browser.
bool isWebAddress(const wchar_t* address) {
    const std::wstring text(address);
    for (const std::wstring scheme : {L"http://", L"https://"}) {
        if (text.size() > scheme.size() &&
            CompareStringOrdinal(text.data(), static_cast<int>(scheme.size()), scheme.data(),
                                 static_cast<int>(scheme.size()), TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

}  // namespace

// The browser's events: a link that wants a new window (target="_blank", window.open) opens in
// the user's own browser instead of an Internet Explorer window of the program's.
class BrowserEvents final : public IDispatch {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = --references_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    // NewWindow3(ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl), its arguments last first.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* parameters,
                                     VARIANT*, EXCEPINFO*, UINT*) override {
        if (id != DISPID_NEWWINDOW3 || !parameters || parameters->cArgs < 5) return S_OK;
        VARIANT& cancel = parameters->rgvarg[3];
        const VARIANT& address = parameters->rgvarg[0];
        if (cancel.vt != (VT_BYREF | VT_BOOL) || !cancel.pboolVal) return S_OK;
        *cancel.pboolVal = VARIANT_TRUE;
        if (address.vt == VT_BSTR && address.bstrVal && isWebAddress(address.bstrVal)) {
            ShellExecuteW(nullptr, L"open", address.bstrVal, nullptr, nullptr, SW_SHOWNORMAL);
        }
        return S_OK;
    }

  private:
    ~BrowserEvents() = default;
    LONG references_ = 1;
};

// How the page sits in the window: flat (no 3-D border), scaled with the monitor's DPI, themed,
// and without the browser's own context menu. Part of the client site: its identity and its
// references are the site's.
class BrowserUiHandler final : public IDocHostUIHandler {
  public:
    explicit BrowserUiHandler(IUnknown& site) : site_(site) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        return site_.QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return site_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return site_.Release(); }

    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        return S_OK;  // shown: nothing
    }
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* info) override {
        if (!info || info->cbSize < sizeof(DOCHOSTUIINFO)) return E_INVALIDARG;
        info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DPI_AWARE | DOCHOSTUIFLAG_THEME;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*,
                                     IOleInPlaceFrame*, IOleInPlaceUIWindow*) override {
        return S_OK;  // no menus or toolbars of the browser's
    }
    HRESULT STDMETHODCALLTYPE HideUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE UpdateUI() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, const GUID*, DWORD) override {
        return S_FALSE;  // the browser's own accelerators apply
    }
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        if (key) *key = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget*, IDropTarget** target) override {
        if (target) *target = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** external) override {
        if (external) *external = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject*, IDataObject** out) override {
        if (out) *out = nullptr;
        return S_FALSE;
    }

  private:
    IUnknown& site_;
};

// What a container has to offer an in-place object: the client site, the in-place site and a
// frame that asks for nothing (no menus, no toolbars, no status line).
class BrowserSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
  public:
    explicit BrowserSite(HWND container)
        : container_(container), uiHandler_(*static_cast<IOleClientSite*>(this)) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *out = static_cast<IOleClientSite*>(this);
        } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
            *out = static_cast<IOleInPlaceSite*>(this);
        } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
            *out = static_cast<IOleInPlaceFrame*>(this);
        } else if (iid == IID_IDocHostUIHandler) {
            *out = static_cast<IDocHostUIHandler*>(&uiHandler_);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = --references_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, for the in-place site and the frame alike
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = container_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                               LPRECT position, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override {
        if (!frame || !doc || !position || !clip || !info) return E_POINTER;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        GetClientRect(container_, position);
        *clip = *position;
        info->fMDIApp = FALSE;
        info->hwndFrame = GetAncestor(container_, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override {
        return S_OK;
    }

    // IOleInPlaceFrame
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  private:
    ~BrowserSite() = default;

    HWND container_;
    BrowserUiHandler uiHandler_;
    LONG references_ = 1;
};

WebBrowserHost::WebBrowserHost(HWND container)
    : container_(container), site_(new BrowserSite(container)) {}

WebBrowserHost::~WebBrowserHost() {
    if (events_) {
        if (eventsCookie_ != 0) events_->Unadvise(eventsCookie_);
        events_->Release();
    }
    if (browser_) browser_->Release();
    if (object_) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
        object_->Release();
    }
    site_->Release();
}

std::unique_ptr<WebBrowserHost> WebBrowserHost::create(HWND container,
                                                       const std::wstring& address) {
    if (!container) return nullptr;
    useNewestRenderingEngine();
    std::unique_ptr<WebBrowserHost> host(new WebBrowserHost(container));
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&host->object_))) ||
        !host->object_) {
        return nullptr;
    }
    IOleClientSite* site = static_cast<IOleClientSite*>(host->site_);
    if (FAILED(host->object_->SetClientSite(site))) return nullptr;
    OleSetContainedObject(host->object_, TRUE);
    RECT area{};
    GetClientRect(container, &area);
    if (FAILED(
            host->object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site, 0, container, &area)) ||
        FAILED(host->object_->QueryInterface(IID_IWebBrowser2,
                                             reinterpret_cast<void**>(&host->browser_))) ||
        !host->browser_) {
        return nullptr;
    }
    host->fitToContainer();
    host->listenToEvents();
    // Script errors of the page stay inside it; the user gets no dialogs from the web view.
    host->browser_->put_Silent(VARIANT_TRUE);
    if (!address.empty()) {
        VARIANT none;
        VariantInit(&none);
        BSTR url = SysAllocString(address.c_str());
        host->browser_->Navigate(url, &none, &none, &none, &none);
        SysFreeString(url);
    }
    return host;
}

void WebBrowserHost::fitToContainer() {
    if (!browser_) return;
    RECT area{};
    GetClientRect(container_, &area);
    browser_->put_Left(0);
    browser_->put_Top(0);
    browser_->put_Width(area.right - area.left);
    browser_->put_Height(area.bottom - area.top);
}

void WebBrowserHost::listenToEvents() {
    IConnectionPointContainer* points = nullptr;
    if (FAILED(browser_->QueryInterface(IID_IConnectionPointContainer,
                                        reinterpret_cast<void**>(&points))) ||
        !points) {
        return;
    }
    if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &events_)) && events_) {
        auto* sink = new BrowserEvents;
        if (FAILED(events_->Advise(sink, &eventsCookie_))) eventsCookie_ = 0;
        sink->Release();  // the connection point holds it while advised
    }
    points->Release();
}

bool WebBrowserHost::translateKey(MSG& message) {
    if (!browser_) return false;
    IOleInPlaceActiveObject* active = nullptr;
    if (FAILED(browser_->QueryInterface(IID_IOleInPlaceActiveObject,
                                        reinterpret_cast<void**>(&active))) ||
        !active) {
        return false;
    }
    const bool taken = active->TranslateAccelerator(&message) == S_OK;
    active->Release();
    return taken;
}

}  // namespace quorvane::ui
