#include "ui/win32/message_box.h"

#include "ui/win32/wide_text.h"

namespace quorvane::ui {

MessageBoxAnswer showMessageBox(HWND owner, std::string_view text, std::string_view title,
                                int flags) {
    const std::wstring wideText = wideFromUtf8(text);
    const std::wstring wideTitle = wideFromUtf8(title);
    switch (MessageBoxW(owner, wideText.c_str(), wideTitle.c_str(), static_cast<UINT>(flags))) {
        case IDYES:
            return MessageBoxAnswer::yes;
        case IDOK:
            return MessageBoxAnswer::ok;
        default:
            return MessageBoxAnswer::no;
    }
}

}  // namespace quorvane::ui
