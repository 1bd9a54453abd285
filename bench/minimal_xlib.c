/* The smallest useful X11 program, the peer of the start-up measurement:
 * opens a 640 x 480 window, puts one image into it as soon as it is mapped,
 * and waits until the window manager asks it to close. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(void) {
    Display* d = XOpenDisplay(NULL);
    if (!d) return 1;
    int s = DefaultScreen(d);
    Window w = XCreateSimpleWindow(d, RootWindow(d, s), 0, 0, 640, 480, 0, 0, 0);
    XStoreName(d, w, "minimal");
    Atom del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, w, &del, 1);
    long pid = getpid(); /* lets the measurement find the window */
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    (unsigned char*)&pid, 1);
    XSelectInput(d, w, StructureNotifyMask | ExposureMask);
    char* pixels = malloc(640 * 480 * 4);
    memset(pixels, 0x80, 640 * 480 * 4);
    XImage* img = XCreateImage(d, DefaultVisual(d, s), DefaultDepth(d, s), ZPixmap, 0, pixels, 640, 480, 32, 0);
    GC gc = XCreateGC(d, w, 0, NULL);
    XMapWindow(d, w);
    for (;;) {
        XEvent ev;
        XNextEvent(d, &ev);
        if (ev.type == MapNotify || (ev.type == Expose && ev.xexpose.count == 0)) {
            XPutImage(d, w, gc, img, 0, 0, 0, 0, 640, 480);
            XFlush(d);
        } else if (ev.type == ClientMessage && (Atom)ev.xclient.data.l[0] == del) {
            break;
        }
    }
    XDestroyImage(img);
    XCloseDisplay(d);
    return 0;
}
