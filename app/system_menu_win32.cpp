// The system menu is the window's own on Windows: the entry is appended with the Win32 menu calls.
#include <windows.h>

#include <QString>
#include <QWidget>
#include <string>

#include "app/system_menu.h"

namespace {

constexpr UINT kIdmAboutBox = 16;  // IDM_ABOUTBOX

}  // namespace

bool AddAboutToSystemMenu(QWidget* window, std::string_view text) {
    HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(window->winId()), FALSE);
    if (menu == nullptr || text.empty()) {
        return false;
    }
    const std::wstring wide =
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdWString();
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kIdmAboutBox, wide.c_str());
    return true;
}

bool IsAboutSystemCommand(const void* message) {
    const MSG* msg = static_cast<const MSG*>(message);
    return msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == kIdmAboutBox;
}

void OfferMaximiseBox(QWidget* window) {
    const HWND hwnd = reinterpret_cast<HWND>(window->winId());
    SetWindowLongPtrW(hwnd, GWL_STYLE, GetWindowLongPtrW(hwnd, GWL_STYLE) | WS_MAXIMIZEBOX);
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool IsMaximiseCommand(const void* message) {
    const MSG* msg = static_cast<const MSG*>(message);
    return msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == SC_MAXIMIZE;
}
