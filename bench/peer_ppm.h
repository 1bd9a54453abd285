/* The start-up measurement's peers read the picture they show from a
 * 640 x 480 binary PPM (P6, 8 bits) with this. */
#ifndef LICHTBOX_BENCH_PEER_PPM_H
#define LICHTBOX_BENCH_PEER_PPM_H

#include <stdio.h>
#include <stdlib.h>

enum { W = 640, H = 480 };

/* Skips white space and '#' comments between the header fields. */
static void skip_space(FILE* f) {
    int c;
    while ((c = getc(f)) != EOF) {
        if (c == '#') {
            while ((c = getc(f)) != EOF && c != '\n') {
            }
        } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
            ungetc(c, f);
            return;
        }
    }
}

/* The picture's pixels as R, G, B bytes, or NULL. */
static unsigned char* read_ppm(const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) return NULL;
    int w = 0, h = 0, max = 0;
    unsigned char* rgb = NULL;
    if (getc(f) == 'P' && getc(f) == '6') {
        skip_space(f);
        if (fscanf(f, "%d", &w) == 1) skip_space(f);
        if (fscanf(f, "%d", &h) == 1) skip_space(f);
        if (fscanf(f, "%d", &max) == 1 && w == W && h == H && max == 255 && getc(f) != EOF) {
            rgb = malloc((size_t)W * H * 3);
            if (rgb && fread(rgb, 3, (size_t)W * H, f) != (size_t)W * H) {
                free(rgb);
                rgb = NULL;
            }
        }
    }
    fclose(f);
    return rgb;
}

#endif
