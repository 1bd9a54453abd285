/* A plain C program using only the public header: opens mode 18 at 32 bits
 * with four pages on the null screen and checks the page services. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "gfx/gfx.h"

static int failures = 0;
static int checks = 0;

#define CHECK(cond)                                                     \
    do {                                                                \
        ++checks;                                                       \
        if (!(cond)) {                                                  \
            ++failures;                                                 \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
        }                                                               \
    } while (0)

static int dirty_rows(const GfxContext* ctx) {
    int n = 0;
    for (int y = 0; y < ctx->h; ++y) n += ctx->dirty[y] != 0;
    return n;
}

int main(void) {
    GfxContext* ctx;
    setenv("ZRGFX", "null", 1);
    rt_init();

    CHECK(gfx_page_set(0, 0) == -1);
    CHECK(gfx_page_copy(0, 1) == 1);

    CHECK(gfx_screen_set(18, 32, 4, 0, 0) == 0);
    ctx = gfx_context();
    CHECK(ctx != NULL);
    if (!ctx) return 1;
    CHECK(ctx->w == 640 && ctx->h == 480 && ctx->depth == 32 && ctx->bpp == 4 && ctx->pitch == 2560);
    CHECK(ctx->page_count == 4);
    CHECK(strcmp(ctx->driver->name, "Null") == 0);

    memset(ctx->dirty, 0, (size_t)ctx->h);
    CHECK(gfx_page_set(2, 3) == 0);
    CHECK(dirty_rows(ctx) == 480);
    memset(ctx->dirty, 0, (size_t)ctx->h);
    CHECK(gfx_page_set(2, 3) == 770);
    CHECK(dirty_rows(ctx) == 0);
    CHECK(gfx_page_set(4, 4) == 770);

    ((uint32_t*)ctx->pages[2])[1234] = 0x11223344u;
    CHECK(gfx_page_copy(2, 3) == 0);
    CHECK(((uint32_t*)ctx->pages[3])[1234] == 0x11223344u);
    CHECK(dirty_rows(ctx) == 480);
    memset(ctx->dirty, 0, (size_t)ctx->h);
    CHECK(gfx_page_copy(0, 2) == 0);
    CHECK(dirty_rows(ctx) == 0);
    CHECK(gfx_page_copy(1, 1) == 0);
    CHECK(gfx_page_copy(0, 4) == 1);

    CHECK(gfx_screen_set(3, 32, 4, 0, 0) == 1);
    CHECK(gfx_screen_set(22, 32, 4, 0, 0) == 1);
    CHECK(gfx_context() == ctx);
    CHECK(gfx_screen_set_size(10, 10, 12, 1, 0, 0) == 1);
    CHECK(gfx_context() == ctx);

    CHECK(gfx_screen_set_size(100000, 100000, 32, 4, 0, 0) == 1);
    CHECK(gfx_screen_set_size(65535, 65535, 32, 4, 0, 0) == 1);
    CHECK(gfx_context() == NULL);

    CHECK(gfx_screen_set(0, 0, 0, 0, 0) == 0);
    CHECK(gfx_context() == NULL);

    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
