/* An SDL2 program that shows a picture, the second peer of the start-up
 * measurement:
 *   minimal_sdl2 PICTURE.ppm
 * Like minimal_xlib it reads the 640 x 480 P6 picture first, then starts
 * SDL's video, opens a 640 x 480 window, copies the picture into the window
 * surface (SDL converts it to the surface's format) and shows it; it shows it
 * again when the window is exposed and ends on SDL_QUIT (the window's close
 * request). SDL sets _NET_WM_PID on its X11 window, which lets the
 * measurement find it. */
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>

#include "peer_ppm.h"

/* Copies the picture into the window surface and puts it on the screen. */
static int show(SDL_Window* window, SDL_Surface* picture) {
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    return surface && SDL_BlitSurface(picture, NULL, surface, NULL) == 0 && SDL_UpdateWindowSurface(window) == 0;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: minimal_sdl2 PICTURE.ppm\n");
        return 2;
    }
    unsigned char* rgb = read_ppm(argv[1]);
    if (!rgb) {
        fprintf(stderr, "minimal_sdl2: %s is not a 640 x 480 P6 picture\n", argv[1]);
        return 1;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr, "minimal_sdl2: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("minimal_sdl2", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, W, H, 0);
    /* The file's bytes as a surface: R, G, B in memory order. */
    SDL_Surface* picture = SDL_CreateRGBSurfaceWithFormatFrom(rgb, W, H, 24, W * 3, SDL_PIXELFORMAT_RGB24);
    if (!window || !picture || !show(window, picture)) {
        fprintf(stderr, "minimal_sdl2: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    SDL_Event ev;
    while (SDL_WaitEvent(&ev) && ev.type != SDL_QUIT) {
        if (ev.type == SDL_WINDOWEVENT && ev.window.event == SDL_WINDOWEVENT_EXPOSED) show(window, picture);
    }
    SDL_FreeSurface(picture);
    free(rgb);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
