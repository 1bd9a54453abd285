/* Escape sequences that terminals send for the extended keys, mapped to the
 * key code bytes of the graphics screen (an extended key reads as character
 * 255 followed by the code byte, or as (code << 8) | 0xFF from getkey). */
#ifndef LICHTBOX_RUNTIME_KEY_SEQUENCES_H
#define LICHTBOX_RUNTIME_KEY_SEQUENCES_H

#include <cstddef>
#include <cstdint>

namespace lichtbox {

/* Key code bytes of the extended keys. */
enum KeyCodeByte : uint8_t {
    kKeyF1 = 0x3B,  // F1..F10 are 0x3B..0x44
    kKeyF10 = 0x44,
    kKeyHome = 0x47,
    kKeyUp = 0x48,
    kKeyPageUp = 0x49,
    kKeyLeft = 0x4B,
    kKeyRight = 0x4D,
    kKeyEnd = 0x4F,
    kKeyDown = 0x50,
    kKeyPageDown = 0x51,
    kKeyInsert = 0x52,
    kKeyDelete = 0x53
};

enum class SequenceMatch {
    none,     // the bytes start no known sequence
    partial,  // the bytes are the beginning of a known sequence
    full      // a known sequence starts the bytes
};

/* Looks for a known sequence at the start of bytes[0..len). On a full match
 * stores the key's code byte and the sequence length. */
SequenceMatch match_key_sequence(const char* bytes, std::size_t len, uint8_t* code,
                                 std::size_t* used);

}  // namespace lichtbox

#endif
