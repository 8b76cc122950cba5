#include "ui/win32/message_box.h"

#include "platform/windows_path_win32.h"

namespace quorvane::ui {

MessageBoxAnswer showMessageBox(HWND owner, std::string_view text, std::string_view title,
                                MessageBoxFlags flags) {
    const std::wstring wideText = platform::wideFromUtf8(text);
    const std::wstring wideTitle = platform::wideFromUtf8(title);
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
