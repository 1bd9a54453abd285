/* Reading the keyboard without waiting, shared by the examples. */
#ifndef LICHTBOX_EXAMPLES_READ_KEY_H
#define LICHTBOX_EXAMPLES_READ_KEY_H

#include "gfx/gfx.h"

#define KEY_ESC 27
#define KEY_CLOSE 0x6BFF /* the window's close button */

/* The next key as one code: a character, or (second byte << 8) | 0xFF for
 * an extended key, whose text from gfx_inkey is character 255 and that
 * byte (the close button: 255 and "k"); 0 when no key is waiting. */
static inline int read_key(void) {
    RuntimeString* text = gfx_inkey();
    const int n = rt_str_len(text);
    int code = 0;
    if (n == 1)
        code = (unsigned char)text->data[0];
    else if (n == 2 && (unsigned char)text->data[0] == 255)
        code = ((unsigned char)text->data[1] << 8) | 0xFF;
    rt_str_release_temp(text); /* the temporary text is ours to release */
    return code;
}

#endif
