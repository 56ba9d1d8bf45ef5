// Drawing into another program's X window with plain Xlib: GTK has no use here, since the
// window takes no input and has no widgets, and Xlib's image upload is all the drawing needed.
// The window is watched for size changes on every call; SIGTERM and SIGINT set a flag the
// caller polls, so it ends cleanly between frames.
#include "platform/platform.h"

// After the platform header: Xlib defines macros (None, Bool) that would clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

namespace lumarel::platform {

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) { g_stop = 1; }

// A window that is destroyed under us must end the program's drawing, not the program.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

class XForeignWindow final : public ForeignWindow {
public:
    XForeignWindow(Display* d, Window w) : display_(d), window_(w), gc_(XCreateGC(d, w, 0, nullptr)) {}
    ~XForeignWindow() override {
        XFreeGC(display_, gc_);
        XCloseDisplay(display_);
    }
    XForeignWindow(const XForeignWindow&) = delete;
    XForeignWindow& operator=(const XForeignWindow&) = delete;

    bool Size(int& width, int& height) override {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display_, window_, &a)) return false;
        width = a.width;
        height = a.height;
        depth_ = a.depth;
        visual_ = a.visual;
        return true;
    }

    void Present(const std::uint32_t* pixels, int width, int height, int stride,
                 std::span<const Rect> regions) override {
        if (!visual_ || width <= 0 || height <= 0 || (depth_ != 24 && depth_ != 32)) return;
        // The pixels are used where they are: 32 bits per pixel in the host's byte order is what
        // a TrueColor visual of depth 24 or 32 takes. The image does not own them.
        XImage* image = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0,
                                     reinterpret_cast<char*>(const_cast<std::uint32_t*>(pixels)),
                                     static_cast<unsigned>(width), static_cast<unsigned>(height), 32, stride * 4);
        if (!image) return;
        const Rect whole{0, 0, width, height};
        for (const Rect& r : regions.empty() ? std::span<const Rect>(&whole, 1) : regions) {
            const Rect in = r.Within(width, height);
            if (in.width > 0 && in.height > 0)
                XPutImage(display_, window_, gc_, image, in.left, in.top, in.left, in.top,
                          static_cast<unsigned>(in.width), static_cast<unsigned>(in.height));
        }
        image->data = nullptr;
        XDestroyImage(image);
        XFlush(display_);
    }

    bool StopRequested() override { return g_stop != 0; }

private:
    Display* display_;
    Window window_;
    GC gc_;
    int depth_ = 0;
    Visual* visual_ = nullptr;
};

}  // namespace

std::unique_ptr<ForeignWindow> OpenForeignWindow(const std::string& id) {
    Window w = 0;
    if (id != "root") {
        char* end = nullptr;
        const unsigned long long n = std::strtoull(id.c_str(), &end, 0);  // 0x: hexadecimal
        if (id.empty() || !end || *end != '\0' || n == 0) return nullptr;
        w = static_cast<Window>(n);
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) return nullptr;
    XSetErrorHandler(IgnoreXError);
    if (id == "root") w = DefaultRootWindow(d);
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a)) {
        XCloseDisplay(d);
        return nullptr;
    }
    std::signal(SIGTERM, OnStopSignal);
    std::signal(SIGINT, OnStopSignal);
    return std::make_unique<XForeignWindow>(d, w);
}

}  // namespace lumarel::platform
