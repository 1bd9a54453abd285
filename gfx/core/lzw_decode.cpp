// Decoder for the 12-bit LZW streams that hold the built-in fonts and
// palettes.
//
// Stream: 12-bit codes, two codes in three bytes, least significant bits
// first. Codes 0-255 are single bytes, 256-4094 dictionary strings, 0xFFF
// ends the stream. There is no clear code and the width never changes; the
// dictionary fills up to code 4094 and then stays as it is.
//
// The decoder works in fixed storage (a 4095-entry dictionary and a
// 4096-byte string stack) and never reads past the input or writes past the
// output capacity, whatever the stream holds.

#include <array>
#include <cstddef>
#include <cstdint>

#include "gfx/gfx.h"

namespace {

constexpr uint32_t kEndCode = 0xFFF;
constexpr uint32_t kFirstFree = 256;
constexpr uint32_t kLastCode = 4094;
constexpr size_t kStackSize = 4096;
// Longest chain of prefix links accepted while expanding one code.
constexpr size_t kMaxChain = 4094;

// One dictionary entry: the code of the string without its last byte, and
// that last byte.
struct Entry {
    uint16_t prefix;
    uint8_t last;
};

// Reads 12-bit codes from the packed byte stream.
class CodeReader {
public:
    CodeReader(const uint8_t* data, size_t len) : data_(data), len_(len) {}

    // Next code, or false when the input cannot supply a whole one.
    bool next(uint32_t& code) {
        // Both halves of a pair need two bytes from pos_ on (b0 and b1, or
        // b1 and b2); pos_ never passes len_.
        if (len_ - pos_ < 2) return false;
        if (!odd_) {
            code = data_[pos_] | (static_cast<uint32_t>(data_[pos_ + 1] & 0x0F) << 8);
            pos_ += 1;  // b1's high half starts the second code
        } else {
            code = (data_[pos_] >> 4) | (static_cast<uint32_t>(data_[pos_ + 1]) << 4);
            pos_ += 2;
        }
        odd_ = !odd_;
        return true;
    }

private:
    const uint8_t* data_;
    size_t len_;
    size_t pos_ = 0;
    bool odd_ = false;
};

// Receives decoded bytes up to a fixed capacity.
class Output {
public:
    Output(uint8_t* data, size_t capacity) : data_(data), capacity_(capacity) {}

    bool put(uint8_t b) {
        if (count_ >= capacity_) return false;
        data_[count_++] = b;
        return true;
    }
    size_t count() const { return count_; }

private:
    uint8_t* data_;
    size_t capacity_;
    size_t count_ = 0;
};

int32_t decode(CodeReader& in, Output& out) {
    std::array<Entry, kLastCode + 1> dict;  // only codes 256..4094 are used
    std::array<uint8_t, kStackSize> stack;

    uint32_t code = 0;
    if (!in.next(code)) return -1;
    // A stream starts with a literal. A first code above 255 would become
    // the prefix of entry 256 without a string of its own, so it is rejected.
    if (code >= kFirstFree) return -1;
    if (!out.put(static_cast<uint8_t>(code))) return -1;

    uint32_t prev = code;
    uint8_t first = static_cast<uint8_t>(code);
    uint32_t next_free = kFirstFree;

    while (in.next(code)) {
        if (code == kEndCode) return 0;

        // Collect the string in reverse on the stack.
        size_t depth = 0;
        uint32_t c = code;
        if (code == next_free) {
            // The code being defined right now: the previous string followed
            // by its own first byte.
            stack[depth++] = first;
            c = prev;
        } else if (code > next_free) {
            return -1;  // neither defined nor being defined: corrupt stream
        }
        size_t links = 0;
        while (c >= kFirstFree) {
            if (++links > kMaxChain || depth >= kStackSize) return -1;
            stack[depth++] = dict[c].last;
            c = dict[c].prefix;
        }
        if (depth >= kStackSize) return -1;
        stack[depth++] = static_cast<uint8_t>(c);

        first = stack[depth - 1];
        while (depth > 0) {
            if (!out.put(stack[--depth])) return -1;
        }

        if (next_free <= kLastCode) {
            dict[next_free] = Entry{static_cast<uint16_t>(prev), first};
            ++next_free;
        }
        prev = code;
    }
    return -1;  // input ended without the end code
}

}  // namespace

extern "C" int32_t gfx_lzw_decode(const uint8_t* input, size_t input_len, uint8_t* output,
                                  size_t* output_count) {
    if (output_count == nullptr) return -1;
    if (input == nullptr) input_len = 0;
    const size_t capacity = output == nullptr ? 0 : *output_count;

    CodeReader in(input, input_len);
    Output out(output, capacity);
    const int32_t result = decode(in, out);
    *output_count = out.count();
    return result;
}
