// window-probe.exe: looks at the running program's window from outside, as a test driver needs
// it, and prints what it finds as UTF-8 lines of tab-separated fields. Run in the same Wine
// prefix as the program.
//   window-probe window          caption, client size and the client area's place on screen
//   window-probe controls        one line a child control: id, class, screen rect, state, text
//   window-probe items           the file chooser's items, one a line
//   window-probe dialog          the message box in front: title, text, and its buttons
//   window-probe any-dialog      the same for any dialog, the installer's too
//   window-probe resources EXE   the program file's version record and its icon's images
//   window-probe instances       how many windows of the program there are, and how many of them
//                                have their notification-area icon up
//   window-probe minimise|close  asks the window to minimise or to close, as its buttons do
// Exit status 0 when found, 1 when not.

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

constexpr wchar_t kWindowClass[] = L"QuorvaneDownloaderWindow";

std::string utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

// Line breaks inside texts are shown as \n so that one thing stays on one line.
std::string field(const std::wstring& text) {
    std::string out;
    for (char c : utf8(text)) {
        if (c == '\r') continue;
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

void print(const std::string& line) {
    const std::string withEnd = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), withEnd.data(), static_cast<DWORD>(withEnd.size()),
              &written, nullptr);
}

std::wstring textOf(HWND window) {
    wchar_t buffer[4096] = {};
    // WM_GETTEXT crosses process borders; GetWindowText would not for another process's controls.
    SendMessageTimeoutW(window, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer),
                        SMTO_ABORTIFHUNG, 2000, nullptr);
    return buffer;
}

std::wstring classOf(HWND window) {
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, static_cast<int>(std::size(buffer)));
    return buffer;
}

std::string rectFields(const RECT& r) {
    return std::to_string(r.left) + "\t" + std::to_string(r.top) + "\t" +
           std::to_string(r.right - r.left) + "\t" + std::to_string(r.bottom - r.top);
}

HWND programWindow() {
    return FindWindowW(kWindowClass, nullptr);
}

int showWindow() {
    const HWND window = programWindow();
    if (!window) return 1;
    RECT client{};
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    RECT frame{};
    GetWindowRect(window, &frame);
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    print("caption\t" + field(textOf(window)));
    print("client\t" + std::to_string(client.right) + "\t" + std::to_string(client.bottom));
    print("origin\t" + std::to_string(origin.x) + "\t" + std::to_string(origin.y));
    print("frame\t" + rectFields(frame));
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    print("process\t" + std::to_string(process));
    print(std::string("visible\t") + (IsWindowVisible(window) ? "1" : "0"));
    print(std::string("minimised\t") + (IsIconic(window) ? "1" : "0"));
    print(std::string("foreground\t") + (GetForegroundWindow() == window ? "1" : "0"));
    print(std::string("resizable\t") + ((style & WS_THICKFRAME) ? "1" : "0"));
    print(std::string("maximise-box\t") + ((style & WS_MAXIMIZEBOX) ? "1" : "0"));
    print(std::string("minimise-box\t") + ((style & WS_MINIMIZEBOX) ? "1" : "0"));
    return 0;
}

BOOL CALLBACK printControl(HWND child, LPARAM) {
    if (GetParent(child) != programWindow()) return TRUE;
    RECT r{};
    GetWindowRect(child, &r);
    print(std::to_string(GetDlgCtrlID(child)) + "\t" + field(classOf(child)) + "\t" +
          rectFields(r) + "\t" + (IsWindowEnabled(child) ? "enabled" : "disabled") + "\t" +
          (IsWindowVisible(child) ? "visible" : "hidden") + "\t" + field(textOf(child)));
    return TRUE;
}

int showControls() {
    const HWND window = programWindow();
    if (!window) return 1;
    EnumChildWindows(window, printControl, 0);
    return 0;
}

HWND chooser() {
    HWND found = nullptr;
    EnumChildWindows(
        programWindow(),
        [](HWND child, LPARAM result) -> BOOL {
            if (_wcsicmp(classOf(child).c_str(), L"ComboBox") != 0) return TRUE;
            *reinterpret_cast<HWND*>(result) = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

int showItems() {
    const HWND box = chooser();
    if (!box) return 1;
    const LRESULT count = SendMessageW(box, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t buffer[1024] = {};
        if (SendMessageW(box, CB_GETLBTEXTLEN, i, 0) >= static_cast<LRESULT>(std::size(buffer))) {
            continue;
        }
        SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buffer));
        print(std::to_string(i) + "\t" + field(buffer));
    }
    print("chosen\t" + std::to_string(SendMessageW(box, CB_GETCURSEL, 0, 0)));
    return 0;
}

// A message box is a dialog (#32770) owned by the program's window; with anyOwner, any visible
// dialog, such as the installer's.
HWND messageBoxWindow(bool anyOwner) {
    struct Search {
        bool anyOwner;
        HWND found;
    } search{anyOwner, nullptr};
    EnumWindows(
        [](HWND candidate, LPARAM result) -> BOOL {
            auto& search = *reinterpret_cast<Search*>(result);
            if (classOf(candidate) != L"#32770" || !IsWindowVisible(candidate)) return TRUE;
            if (!search.anyOwner && GetWindow(candidate, GW_OWNER) != programWindow()) return TRUE;
            search.found = candidate;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int showDialog(bool anyOwner) {
    const HWND box = messageBoxWindow(anyOwner);
    if (!box) return 1;
    print("title\t" + field(textOf(box)));
    RECT frame{};
    GetWindowRect(box, &frame);
    print("frame\t" + rectFields(frame));
    // The message text is the static control with the id 0xFFFF.
    print("text\t" + field(textOf(GetDlgItem(box, 0xFFFF))));
    for (int id : {IDOK, IDYES, IDNO, IDCANCEL}) {
        const HWND button = GetDlgItem(box, id);
        if (!button || !IsWindowVisible(button)) continue;
        RECT r{};
        GetWindowRect(button, &r);
        print("button\t" + std::to_string(id) + "\t" + rectFields(r) + "\t" +
              field(textOf(button)));
    }
    return 0;
}

#pragma pack(push, 2)
struct IconGroupEntry {  // GRPICONDIRENTRY
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

int showResources(const wchar_t* program) {
    const DWORD size = GetFileVersionInfoSizeW(program, nullptr);
    if (size == 0) return 1;
    std::vector<BYTE> record(size);
    if (!GetFileVersionInfoW(program, 0, size, record.data())) return 1;
    for (const wchar_t* key :
         {L"FileVersion", L"ProductVersion", L"FileDescription", L"ProductName", L"CompanyName"}) {
        wchar_t* value = nullptr;
        UINT length = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\080404B0\\") + key;
        if (VerQueryValueW(record.data(), path.c_str(), reinterpret_cast<void**>(&value),
                           &length)) {
            print("version\t" + utf8(key) + "\t" +
                  field(std::wstring(value, length ? length - 1 : 0)));
        }
    }
    const HMODULE module = LoadLibraryExW(program, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return 1;
    // The icon group with the lowest id is the program file's icon.
    const HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    if (group) {
        const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
        const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
        const auto* entries = reinterpret_cast<const IconGroupEntry*>(directory + 6);
        for (WORD i = 0; i < count; ++i) {
            print("icon\t" + std::to_string(entries[i].width ? entries[i].width : 256) + "\t" +
                  std::to_string(entries[i].bitCount));
        }
    }
    print(std::string("manifest\t") +
          (FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST) ? "1" : "0"));
    FreeLibrary(module);
    return 0;
}

std::vector<HWND> programWindows() {
    std::vector<HWND> found;
    EnumWindows(
        [](HWND candidate, LPARAM result) -> BOOL {
            if (classOf(candidate) == kWindowClass) {
                reinterpret_cast<std::vector<HWND>*>(result)->push_back(candidate);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// The shell modifies only an icon it has: a change of nothing tells whether it is there.
bool hasTrayIcon(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 1;  // the program's one icon (tray_icon.cpp)
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

int showInstances() {
    const std::vector<HWND> windows = programWindows();
    int icons = 0;
    for (HWND window : windows) icons += hasTrayIcon(window) ? 1 : 0;
    print("windows\t" + std::to_string(windows.size()));
    print("tray-icons\t" + std::to_string(icons));
    return 0;
}

int postToWindow(UINT message, WPARAM wParam) {
    const HWND window = programWindow();
    return window && PostMessageW(window, message, wParam, 0) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"window") return showWindow();
    if (command == L"controls") return showControls();
    if (command == L"items") return showItems();
    if (command == L"dialog") return showDialog(false);
    if (command == L"any-dialog") return showDialog(true);
    if (command == L"resources" && argc > 2) return showResources(argv[2]);
    if (command == L"instances") return showInstances();
    if (command == L"minimise") return postToWindow(WM_SYSCOMMAND, SC_MINIMIZE);
    if (command == L"close") return postToWindow(WM_CLOSE, 0);
    print(
        "usage: window-probe window|controls|items|dialog|any-dialog|resources EXE|instances|"
        "minimise|close");
    return 2;
}
