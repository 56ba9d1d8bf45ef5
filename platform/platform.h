// The only door to the operating system. Everything above platform/ talks to the system
// through these interfaces; each backend (win32, linux, and the fake one under tests/)
// implements them. Texts are UTF-8 throughout; a backend converts at its own boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumarel::platform {

// An error whose message is written for the user (a file that cannot be opened, a broken
// setting). The error box shows the message of these only; anything else (out of memory, a
// fault of the program) gets a plain Japanese sentence instead of the library's own text.
class UserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------------------
// Windows and the event loop

using WindowHandle = std::uintptr_t;  // a native window; 0 = none

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
    // The part of it inside 0, 0, w, h (width or height 0 when none).
    Rect Within(int w, int h) const {
        const int x0 = left < 0 ? 0 : left, y0 = top < 0 ? 0 : top;
        const int x1 = left + width < w ? left + width : w, y1 = top + height < h ? top + height : h;
        return x0 < x1 && y0 < y1 ? Rect{x0, y0, x1 - x0, y1 - y0} : Rect{x0, y0, 0, 0};
    }
};

struct Size {
    int width = 0, height = 0;
    bool operator==(const Size&) const = default;
};

// Message numbers are the Windows ones on every backend, so handlers read the same everywhere.
namespace msg {
constexpr std::uint32_t Close = 0x0010;
constexpr std::uint32_t KeyDown = 0x0100;
constexpr std::uint32_t Timer = 0x0113;
constexpr std::uint32_t MouseMove = 0x0200;
constexpr std::uint32_t LButtonDown = 0x0201;
constexpr std::uint32_t RButtonDown = 0x0204;
constexpr std::uint32_t MButtonDown = 0x0207;
constexpr std::uint32_t User = 0x0400;
}  // namespace msg

// One queued message. For mouse messages x, y are client coordinates of `window`;
// for KeyDown, wParam is the virtual-key code; for Timer, wParam is the timer id.
struct Message {
    std::uint32_t msg = 0;
    WindowHandle window = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    int x = 0, y = 0;
    // The backend's own event record. PeekMessage hands it over with the message; the
    // application then passes the message to exactly one of DispatchMessage or DiscardMessage.
    alignas(8) unsigned char native[64] = {};
};

enum class ControlKind { Form, Panel, Label, Edit, CheckBox, Button, SpeedButton, Bevel, Host };

enum class BorderStyle { Sizeable, None, Dialog };  // Dialog: fixed frame, system-menu icon only

// What a backend reports about one of the windows it created.
enum class EventKind {
    Message,   // a dispatched input, timer or private message (see Event::message)
    Activate,  // the window (or one of its children) took the focus
    Close,     // the user or the program asked the window to close
    Click,     // a button was pressed
    Paint,     // a host window needs its pixels again
    Resize,    // the window's client size changed
};

struct Event {
    EventKind kind = EventKind::Message;
    Message message;
};

class EventSink {
public:
    virtual void HandleEvent(const Event& event) = 0;

protected:
    ~EventSink() = default;
};

struct FontSpec {
    std::string name;      // face name; the backend falls back to the nearest Japanese UI font
    int height = 12;       // pixels
    bool shiftJis = true;  // the Shift-JIS character set
};

struct WindowSpec {
    ControlKind kind = ControlKind::Form;
    WindowHandle parent = 0;
    Rect bounds;       // parent's client coordinates; for a form, the client area on screen
    std::string text;  // caption or content
    bool visible = false;
    int tabOrder = -1;                  // -1: no tab stop
    std::uint32_t color = 0xFFFFFFFFu;  // 0xRRGGBB, or 0xFFFFFFFF for the system default
    BorderStyle border = BorderStyle::Sizeable;
    bool topmost = false;     // above every other window, the taskbar included
    bool keyPreview = false;  // the form sees key presses before its children
    bool hideCursor = false;  // no pointer over this window
    FontSpec font;
    EventSink* sink = nullptr;
};

enum class MessageBoxKind {
    Error,           // stop icon, one OK; application-modal
    TaskModalError,  // stop icon, one OK; task-modal
    Plain,           // no icon, one OK that Enter and Escape also press; small, centred
};

class Windowing {
public:
    virtual ~Windowing() = default;

    virtual WindowHandle CreateControl(const WindowSpec& spec) = 0;
    virtual void DestroyControl(WindowHandle w) = 0;
    virtual void SetBounds(WindowHandle w, const Rect& r) = 0;
    virtual Rect ClientRect(WindowHandle w) = 0;
    virtual void SetVisible(WindowHandle w, bool visible) = 0;
    virtual void SetText(WindowHandle w, const std::string& text) = 0;
    virtual std::string GetText(WindowHandle w) = 0;
    virtual void SetChecked(WindowHandle w, bool checked) = 0;
    virtual bool GetChecked(WindowHandle w) = 0;
    virtual void SetColor(WindowHandle w, std::uint32_t rgb) = 0;
    virtual void SetFocus(WindowHandle w) = 0;
    virtual void CenterOnScreen(WindowHandle w) = 0;
    // Show premultiplied 0xAARRGGBB pixels in a Host window (the player draws this way).
    virtual void PresentPixels(WindowHandle w, const std::uint32_t* pixels, int width, int height, int stride) = 0;
    // The same when only `regions` of the pixels changed since the frame shown (of the same
    // size): only they are copied and drawn again. A frame of another size is shown whole.
    virtual void PresentPixelRegions(WindowHandle w, const std::uint32_t* pixels, int width, int height, int stride,
                                     std::span<const Rect> regions) {
        (void)regions;
        PresentPixels(w, pixels, width, height, stride);
    }
    virtual void HideTaskbarWindow() = 0;

    // Event loop. PeekMessage takes one queued message without waiting; WaitMessage sleeps
    // until one arrives. DispatchMessage delivers it to its window (and so to its sink).
    virtual bool PeekMessage(Message& out) = 0;
    virtual void WaitMessage() = 0;
    virtual void DispatchMessage(const Message& m) = 0;
    virtual void DiscardMessage(const Message& m) = 0;  // a message a hook marked handled
    virtual void PostMessage(WindowHandle w, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // Periodic timer whose ticks arrive as queued msg::Timer messages for `w`.
    virtual void StartTimer(WindowHandle w, std::uintptr_t id, int intervalMs) = 0;
    virtual void StopTimer(WindowHandle w, std::uintptr_t id) = 0;

    // Modal message box; the application's windows take no input while it is up.
    virtual void MessageBox(WindowHandle owner, const std::string& text, const std::string& caption,
                            MessageBoxKind kind) = 0;

    virtual int ShowCursor(bool show) = 0;  // returns the new display count
    virtual Size PrimaryScreenSize() = 0;   // real pixels
    virtual void SetScreenSaverRunning(bool running) = 0;

    // The folder chooser. Returns the chosen folder, or "" on cancel / no file-system folder.
    virtual std::string BrowseForFolder(WindowHandle owner, const std::string& title,
                                        const std::string& initialPath) = 0;
};

// ---------------------------------------------------------------------------------------
// Registry: HKEY_CURRENT_USER and keys below it. Results are Windows error codes.

using KeyHandle = std::uintptr_t;
constexpr KeyHandle kCurrentUser = 1;

namespace reg {
constexpr long Success = 0;
constexpr long FileNotFound = 2;
constexpr long AccessDenied = 5;
constexpr long InvalidHandle = 6;
constexpr long MoreData = 234;
constexpr long WriteFault = 29;

constexpr std::uint32_t Sz = 1, ExpandSz = 2, Binary = 3, Dword = 4, MultiSz = 7;
constexpr std::uint32_t AllAccess = 0xF003F;
}  // namespace reg

class Registry {
public:
    virtual ~Registry() = default;
    // Creates every missing key on `subKey` below `parent`, or opens it.
    virtual long CreateKey(KeyHandle parent, const std::string& subKey, std::uint32_t access, KeyHandle& out) = 0;
    // Opens an existing key; never creates.
    virtual long OpenKey(KeyHandle parent, const std::string& subKey, std::uint32_t access, KeyHandle& out) = 0;
    // With data == nullptr: type and size only (FileNotFound when there is no such value).
    // With data: *size is the buffer size in; on MoreData the buffer was too small.
    // Sizes and bytes are those an ANSI reader of the Windows registry would see.
    virtual long QueryValue(KeyHandle key, const std::string& name, std::uint32_t& type, std::uint8_t* data,
                            std::uint32_t& size) = 0;
    virtual long SetValue(KeyHandle key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                          std::uint32_t size) = 0;
    // Removes one value (FileNotFound when there is no such value).
    virtual long DeleteValue(KeyHandle key, const std::string& name) = 0;
    virtual long CloseKey(KeyHandle key) = 0;
};

// ---------------------------------------------------------------------------------------
// Files and folders

struct FindData {
    std::string name;
    std::uint32_t attributes = 0;  // Windows attribute word: directory 16, read-only 1, hidden 2, archive 32
};

using FindHandle = std::uintptr_t;  // 0 = invalid
using FileHandle = std::uintptr_t;  // 0 = invalid

namespace attr {
constexpr std::uint32_t ReadOnly = 1, Hidden = 2, Directory = 16, Archive = 32;
}

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual FindHandle FindFirst(const std::string& pattern, FindData& out) = 0;
    virtual bool FindNext(FindHandle h, FindData& out) = 0;
    virtual void FindClose(FindHandle h) = 0;
    // Open for reading; others may read but not write the file while it is open.
    virtual FileHandle OpenShareRead(const std::string& path) = 0;
    virtual long Seek(FileHandle f, std::int64_t offset) = 0;       // from the start; -1 on failure
    virtual long Read(FileHandle f, void* buffer, long count) = 0;  // bytes read, -1 on failure
    virtual void Close(FileHandle f) = 0;
    virtual bool FileExists(const std::string& path) = 0;  // a directory does not count
    // Whole file into memory (the player's load); false when it cannot be read.
    virtual bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out, std::size_t maxBytes) = 0;
};

// ---------------------------------------------------------------------------------------
// Process services

using LibraryHandle = std::uintptr_t;  // 0 = not loaded
using LockHandle = std::uintptr_t;     // 0 = none

// PwdChangePasswordA(provider, parent window, 0, 0)
using PasswordEntry =
    std::function<long(const std::string& provider, std::uintptr_t parent, std::uint32_t, std::uint32_t)>;

class Services {
public:
    virtual ~Services() = default;
    virtual std::vector<std::string> CommandLineArguments() = 0;  // split the platform's way, no program name
    virtual std::string ExecutablePath() = 0;
    virtual std::string SystemDirectory() = 0;
    virtual LibraryHandle LoadLibrary(const std::string& pathOrName) = 0;
    virtual PasswordEntry FindPasswordEntry(LibraryHandle lib, const std::string& name) = 0;
    virtual void FreeLibrary(LibraryHandle lib) = 0;
    // Creates the named lock owned by the caller; returns the last-error code right after
    // (0: this process holds it). `out` may be valid even when the code is not 0.
    virtual long CreateNamedLock(const std::string& name, LockHandle& out) = 0;
    virtual void ReleaseLock(LockHandle lock) = 0;
    virtual void Sleep(int milliseconds) = 0;
    virtual std::uint64_t TickMilliseconds() = 0;
    virtual void InitializeComponents() = 0;  // the single-threaded component apartment
};

// ---------------------------------------------------------------------------------------
// Sound output: one stream of interleaved 16-bit samples to the system's default device.

using AudioHandle = std::uintptr_t;  // 0 = none

// Fills `frames` frames (`channels` samples each, interleaved) of the stream. The backend calls
// it from a thread of its own while the stream is open, and never again once Close returns.
using AudioPull = std::function<void(std::int16_t* out, std::size_t frames)>;

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // Starts a stream that pulls its samples from `pull`, a modest amount ahead (100-200 ms).
    // Without a device to play on (no sound server, no driver) it returns 0, or a stream that
    // never pulls when the backend finds that out on its own thread; either way quickly, without
    // telling the user, and the movie plays silently.
    virtual AudioHandle Open(int sampleRate, int channels, AudioPull pull) = 0;
    // Silence at once: whatever is buffered is dropped.
    virtual void Close(AudioHandle stream) = 0;
};

// MP3 through the system's own codec, for a build that links no decoder library (Windows: its
// MPEG Layer-3 audio codec). Bytes go in as they come; samples come out as frames complete.
class Mp3Decoder {
public:
    virtual ~Mp3Decoder() = default;
    // Appends interleaved 16-bit samples to `out`; `rate` and `channels` are set from the first
    // frame on (0 before). False on an error the codec cannot recover from.
    virtual bool Decode(std::span<const std::uint8_t> data, std::vector<std::int16_t>& out, int& rate,
                        int& channels) = 0;
};
// A decoder, or null where the system has no such codec (always on Linux, whose build links one).
std::unique_ptr<Mp3Decoder> OpenSystemMp3Decoder();

// A window another program owns, drawn into by its id: a screen-saver daemon's, which runs the
// program as one of its display hacks. Only the X11 backend has them.
class ForeignWindow {
public:
    virtual ~ForeignWindow() = default;
    // Its size now, in pixels (it follows the owner's resizes); false once the window is gone.
    virtual bool Size(int& width, int& height) = 0;
    // Shows 0xAARRGGBB pixels (opaque) at its top left: all of them, or only `regions` of them.
    virtual void Present(const std::uint32_t* pixels, int width, int height, int stride,
                         std::span<const Rect> regions = {}) = 0;
    // Whether the process was asked to end (SIGTERM, SIGINT: the daemon's way to stop a hack).
    virtual bool StopRequested() = 0;
};
// The window `id` (a decimal or 0x hexadecimal X window id), or the root window when `id` is
// "root"; null when there is no display or no such window. The X11 backend's alone: Windows
// builds have no such function.
std::unique_ptr<ForeignWindow> OpenForeignWindow(const std::string& id);

// ---------------------------------------------------------------------------------------

struct Platform {
    Windowing* windowing = nullptr;
    Registry* registry = nullptr;
    FileSystem* files = nullptr;
    Services* services = nullptr;
    AudioOutput* audio = nullptr;  // none: movies play silently
};

// The platform in use: what was installed last, and no services before that. The program
// installs NativePlatform() as it starts; a test installs the services it drives (fakes, or
// some of the native ones from platform/native.h). The framework itself names no backend, so
// it links with any of them or none.
Platform& Current();
void Install(const Platform& p);
// The native backend of this build (win32 or linux), all services (lumarel_platform).
// SetProcessArguments hands the backend the arguments main() received (Windows reads its own
// command line instead); it is the services' (lumarel_platform_services).
Platform NativePlatform();
void SetProcessArguments(int argc, char** argv);

}  // namespace lumarel::platform
