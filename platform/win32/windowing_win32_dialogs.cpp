// The Win32 windowing's modal dialogs: the message box and the folder chooser
// (windowing_win32.h).
#include "platform/win32/windowing_win32.h"

namespace lumarel::platform::win32::ui {

void Win32Windowing::MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                                MessageBoxKind kind) {
    const std::wstring wtext = win32::Utf8ToWide(text);
    const std::wstring wcaption = win32::Utf8ToWide(caption);
    HWND parent = nullptr;
    UINT flags = MB_OK;
    switch (kind) {
        case MessageBoxKind::Error:
            flags |= MB_ICONSTOP;
            parent = ActiveFormOr(H(owner));
            break;
        case MessageBoxKind::TaskModalError:
            flags |= MB_ICONSTOP | MB_TASKMODAL;
            break;
        case MessageBoxKind::Plain:
            break;
    }
    ModalScope modal(*this);
    ::MessageBoxW(parent, wtext.c_str(), wcaption.c_str(), flags);
}

std::string Win32Windowing::BrowseForFolder(WindowHandle owner, const std::string& title,
                                            const std::string& initialPath) {
    const std::wstring wtitle = win32::Utf8ToWide(title);
    const std::wstring winitial = win32::Utf8ToWide(initialPath);
    wchar_t display[MAX_PATH] = {};
    BROWSEINFOW bi{};
    bi.hwndOwner = Data(H(owner)) ? H(owner) : nullptr;
    bi.pszDisplayName = display;
    bi.lpszTitle = wtitle.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    bi.lpfn = &BrowseCallback;
    bi.lParam = reinterpret_cast<LPARAM>(winitial.c_str());
    PIDLIST_ABSOLUTE pidl = nullptr;
    {
        ModalScope modal(*this);
        pidl = ::SHBrowseForFolderW(&bi);
    }
    if (!pidl) return {};
    wchar_t path[MAX_PATH] = {};
    const BOOL ok = ::SHGetPathFromIDListW(pidl, path);
    ::CoTaskMemFree(pidl);
    return ok ? win32::WideToUtf8(path) : std::string();
}

int CALLBACK Win32Windowing::BrowseCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        const wchar_t* initial = reinterpret_cast<const wchar_t*>(data);
        // Only an existing folder is handed over: a path the chooser cannot select leaves it
        // on its default selection (some shell versions fail hard on such a path).
        const DWORD attributes = initial && *initial ? ::GetFileAttributesW(initial) : INVALID_FILE_ATTRIBUTES;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(initial));
        }
    } else if (message == BFFM_SELCHANGED) {
        wchar_t path[MAX_PATH] = {};
        if (!lParam || !::SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path)) {
            path[0] = L'\0';
        }
        ::SendMessageW(dialog, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(path));
    }
    return 0;
}

HWND Win32Windowing::ActiveFormOr(HWND owner) {
    HWND active = ::GetActiveWindow();
    WindowData* d = Data(active);
    if (d && d->kind == ControlKind::Form) return active;
    d = Data(owner);
    if (d && d->kind == ControlKind::Form && ::IsWindowVisible(owner)) return owner;
    return nullptr;
}

}  // namespace lumarel::platform::win32::ui
