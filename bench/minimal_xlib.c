/* The smallest honest X11 program that shows a picture, the peer of the
 * start-up measurement:
 *   minimal_xlib PICTURE.ppm
 * It reads the 640 x 480 P6 picture before it connects to the X server (the
 * file is what it shows, so it has it in hand before it asks for a window),
 * converts it into an image of the default visual, opens a 640 x 480 window
 * without a background (the server paints nothing the program did not put
 * there), puts the image whenever the window is exposed and ends when the
 * window manager asks it to close. The first Expose comes as soon as the
 * mapped window can be seen; putting the image on MapNotify as well would
 * only put it twice. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "peer_ppm.h"

static int shift_of(unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

/* The picture as a ZPixmap image of a 24- or 32-bit TrueColor visual, in the
 * server's byte order; NULL for other visuals. */
static XImage* to_image(Display* d, Visual* v, int depth, const unsigned char* rgb) {
    if (v->class != TrueColor || depth < 24) return NULL;
    XImage* img = XCreateImage(d, v, (unsigned)depth, ZPixmap, 0, NULL, W, H, 32, 0);
    if (!img) return NULL;
    if (img->bits_per_pixel != 24 && img->bits_per_pixel != 32) {
        XDestroyImage(img);
        return NULL;
    }
    img->data = malloc((size_t)img->bytes_per_line * H);
    if (!img->data) {
        XDestroyImage(img);
        return NULL;
    }
    /* 8-bit channels: each mask is eight bits wide at depth 24. */
    const int rs = shift_of(v->red_mask), gs = shift_of(v->green_mask), bs = shift_of(v->blue_mask);
    const int bytes = img->bits_per_pixel / 8, msb = img->byte_order == MSBFirst;
    for (int y = 0; y < H; ++y) {
        unsigned char* row = (unsigned char*)img->data + (size_t)y * img->bytes_per_line;
        const unsigned char* src = rgb + (size_t)y * W * 3;
        for (int x = 0; x < W; ++x, src += 3, row += bytes) {
            const uint32_t p = (uint32_t)src[0] << rs | (uint32_t)src[1] << gs | (uint32_t)src[2] << bs;
            for (int i = 0; i < bytes; ++i) row[msb ? bytes - 1 - i : i] = (unsigned char)(p >> (8 * i));
        }
    }
    return img;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: minimal_xlib PICTURE.ppm\n");
        return 2;
    }
    unsigned char* rgb = read_ppm(argv[1]);
    if (!rgb) {
        fprintf(stderr, "minimal_xlib: %s is not a 640 x 480 P6 picture\n", argv[1]);
        return 1;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "minimal_xlib: cannot open the display\n");
        return 1;
    }
    const int s = DefaultScreen(d);
    XImage* img = to_image(d, DefaultVisual(d, s), DefaultDepth(d, s), rgb);
    free(rgb);
    if (!img) {
        fprintf(stderr, "minimal_xlib: needs a 24- or 32-bit TrueColor visual\n");
        return 1;
    }

    XSetWindowAttributes attrs;
    attrs.background_pixmap = None;
    attrs.event_mask = ExposureMask;
    const Window w = XCreateWindow(d, RootWindow(d, s), 0, 0, W, H, 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWBackPixmap | CWEventMask, &attrs);
    XStoreName(d, w, "minimal_xlib");
    Atom del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(d, w, &del, 1);
    long pid = getpid(); /* lets the measurement find the window */
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    (unsigned char*)&pid, 1);
    GC gc = XCreateGC(d, w, 0, NULL);
    XMapWindow(d, w);
    for (;;) {
        XEvent ev;
        XNextEvent(d, &ev);
        if (ev.type == Expose && ev.xexpose.count == 0) {
            XPutImage(d, w, gc, img, 0, 0, 0, 0, W, H);
            XFlush(d);
        } else if (ev.type == ClientMessage && (Atom)ev.xclient.data.l[0] == del) {
            break;
        }
    }
    XDestroyImage(img);
    XFreeGC(d, gc);
    XCloseDisplay(d);
    return 0;
}
