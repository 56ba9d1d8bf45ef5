// The Win32 windowing's pointer and keys: the hidden pointer, the speed buttons' tracking,
// tab order (windowing_win32.h).
#include "platform/win32/windowing_win32.h"

namespace lumarel::platform::win32::ui {

int Win32Windowing::ShowCursor(bool show) { return ::ShowCursor(show ? TRUE : FALSE); }

bool Win32Windowing::HideCursorHere(const WindowData* d) {
    if (!d || !d->hideCursor) return false;
    ::SetCursor(nullptr);
    return true;
}

LRESULT Win32Windowing::SpeedDown(HWND hwnd, WindowData& d) {
    d.tracking = true;
    ::SetCapture(hwnd);
    ::SendMessageW(hwnd, BM_SETSTATE, TRUE, 0);
    return 0;
}

bool Win32Windowing::Inside(HWND hwnd, LPARAM lParam) {
    RECT rc{};
    ::GetClientRect(hwnd, &rc);
    POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    return ::PtInRect(&rc, p) != FALSE;
}

LRESULT Win32Windowing::SpeedTrack(HWND hwnd, LPARAM lParam) {
    ::SendMessageW(hwnd, BM_SETSTATE, Inside(hwnd, lParam) ? TRUE : FALSE, 0);
    return 0;
}

LRESULT Win32Windowing::SpeedUp(HWND hwnd, WindowData& d, LPARAM lParam) {
    const bool inside = Inside(hwnd, lParam);
    d.tracking = false;
    ::SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
    ::ReleaseCapture();
    if (inside && ::IsWindow(hwnd)) {
        HWND parent = ::GetParent(hwnd);
        ::SendMessageW(parent, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hwnd), BN_CLICKED),
                       reinterpret_cast<LPARAM>(hwnd));
    }
    return 0;
}

bool Win32Windowing::MoveFocus(HWND from) {
    HWND form = ::GetAncestor(from, GA_ROOT);
    if (!form) return false;
    std::vector<std::pair<int, HWND>> stops;
    for (auto& [hwnd, data] : windows_) {
        if (!data || data->tabOrder < 0 || data->kind == ControlKind::SpeedButton) continue;
        if (data->kind == ControlKind::Form) continue;
        if (!::IsChild(form, hwnd) || !::IsWindowVisible(hwnd) || !::IsWindowEnabled(hwnd)) continue;
        stops.emplace_back(data->tabOrder, hwnd);
    }
    if (stops.empty()) return false;
    std::sort(stops.begin(), stops.end(), [](const auto& a, const auto& b) {
        return a.first != b.first
                   ? a.first < b.first
                   : reinterpret_cast<std::uintptr_t>(a.second) < reinterpret_cast<std::uintptr_t>(b.second);
    });
    const bool back = (::GetKeyState(VK_SHIFT) & 0x8000) != 0;
    const HWND focus = ::GetFocus();
    std::size_t at = stops.size();
    for (std::size_t i = 0; i < stops.size(); ++i) {
        if (stops[i].second == focus) at = i;
    }
    std::size_t next;
    if (at == stops.size()) {
        next = back ? stops.size() - 1 : 0;
    } else {
        next = back ? (at + stops.size() - 1) % stops.size() : (at + 1) % stops.size();
    }
    HWND target = stops[next].second;
    ::SetFocus(target);
    if (WindowData* t = Data(target); t && t->kind == ControlKind::Edit) {
        ::SendMessageW(target, EM_SETSEL, 0, -1);
    }
    return true;
}

}  // namespace lumarel::platform::win32::ui
