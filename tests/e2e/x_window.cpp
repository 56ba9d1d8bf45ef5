// A plain X window for the hack's end-to-end test, standing in for a screen-saver daemon's:
// prints its id, then takes "W H" lines on stdin to resize itself; ends at end of input.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) return 64;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 1;
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, std::atoi(argv[1]), std::atoi(argv[2]), 0, 0,
                                         WhitePixel(d, DefaultScreen(d)));
    XMapWindow(d, w);
    XSync(d, False);
    std::printf("%lu\n", static_cast<unsigned long>(w));
    std::fflush(stdout);
    unsigned width = 0, height = 0;
    while (std::scanf("%u %u", &width, &height) == 2) {
        XResizeWindow(d, w, width, height);
        XSync(d, False);
    }
    XCloseDisplay(d);
    return 0;
}
