// What a window manager would do to a window, for the end-to-end tests that
// run under a bare X server:
//   x11_probe close WID   asks the window to close (its close box)
//   x11_probe hints WID   prints "min W H max W H" from its size hints
//   x11_probe icon WID    prints "icon W H" of the first icon it offers
//   x11_probe mwm WID     prints "functions F decorations D" of its Motif hints
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// The 32-bit items of a window property, when it has at least `least`.
static std::vector<long> property(Display* d, Window w, const char* name, Atom type, long length,
                                  unsigned long least) {
    Atom got;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> items;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, length, False, type, &got, &format,
                           &count, &after, &data) == Success &&
        data && format == 32 && count >= least)
        items.assign(reinterpret_cast<const long*>(data),
                     reinterpret_cast<const long*>(data) + count);
    if (data) XFree(data);
    return items;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: x11_probe close|hints|icon|mwm WINDOW-ID\n");
        return 2;
    }
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "x11_probe: no display\n");
        return 2;
    }
    Window w = static_cast<Window>(std::strtoul(argv[2], nullptr, 0));
    int rc = 0;
    if (std::strcmp(argv[1], "close") == 0) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, w, False, NoEventMask, &e);
        XFlush(d);
    } else if (std::strcmp(argv[1], "hints") == 0) {
        XSizeHints h{};
        long supplied = 0;
        if (!XGetWMNormalHints(d, w, &h, &supplied)) {
            std::printf("none\n");
            rc = 1;
        } else {
            std::printf("min %d %d max %d %d\n", (h.flags & PMinSize) ? h.min_width : 0,
                        (h.flags & PMinSize) ? h.min_height : 0,
                        (h.flags & PMaxSize) ? h.max_width : 0,
                        (h.flags & PMaxSize) ? h.max_height : 0);
        }
    } else if (std::strcmp(argv[1], "icon") == 0) {
        const std::vector<long> v = property(d, w, "_NET_WM_ICON", XA_CARDINAL, 2, 2);
        rc = v.size() == 2 ? 0 : 1;
        v.size() == 2 ? std::printf("icon %ld %ld\n", v[0], v[1]) : std::printf("none\n");
    } else if (std::strcmp(argv[1], "mwm") == 0) {
        const std::vector<long> v =
            property(d, w, "_MOTIF_WM_HINTS", XInternAtom(d, "_MOTIF_WM_HINTS", False), 5, 3);
        rc = v.empty() ? 1 : 0;
        v.empty() ? std::printf("none\n")
                  : std::printf("functions %ld decorations %ld\n", (v[0] & 1) ? v[1] : -1L,
                                (v[0] & 2) ? v[2] : -1L);
    } else {
        std::fprintf(stderr, "x11_probe: unknown action %s\n", argv[1]);
        rc = 2;
    }
    XCloseDisplay(d);
    return rc;
}
