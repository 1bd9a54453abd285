/* Code page 437, the character set of the built-in fonts and of every text
 * the runtime handles, against Unicode: one table for the window bindings
 * (typed characters, window titles) and the text console. */
#ifndef LICHTBOX_RUNTIME_CODE_PAGE_437_H
#define LICHTBOX_RUNTIME_CODE_PAGE_437_H

#include <cstdint>
#include <string>
#include <string_view>

namespace lichtbox {

/* The Unicode character that code page 437 byte b shows (0x01..0x1F and
 * 0x7F as their graphic symbols, 0 as U+0000). */
char32_t cp437_to_unicode(uint8_t b);

/* The code page 437 byte of Unicode character u, or -1 when the code page
 * has none. Characters below 0x80 stay as they are, so control characters
 * typed on a keyboard (Enter, Tab, Ctrl+letter) keep their values. */
int32_t unicode_to_cp437(char32_t u);

/* Decodes the first UTF-8 character of text into *u and returns its length
 * in bytes; 0 for empty text, and for a malformed or cut sequence 1 with
 * *u = U+FFFD. */
std::size_t utf8_decode(std::string_view text, char32_t* u);

/* Code page 437 bytes as UTF-8 (control bytes 0x01..0x1F as their symbols). */
std::string cp437_to_utf8(std::string_view bytes);

}  // namespace lichtbox

#endif
