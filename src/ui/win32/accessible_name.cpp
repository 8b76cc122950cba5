#include "ui/win32/accessible_name.h"

#include <oleacc.h>

namespace quorvane::ui {

void setAccessibleName(HWND control, const wchar_t* name) {
    IAccPropServices* services = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&services))) ||
        !services) {
        return;
    }
    services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                             PROPID_ACC_NAME, name);
    services->Release();
}

}  // namespace quorvane::ui
