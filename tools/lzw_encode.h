// Encoder for the 12-bit LZW streams read by gfx_lzw_decode.
//
// Dictionary rules shared with the decoder: codes 0-255 are single bytes;
// every code after the first defines the next free code (256, 257, ... up
// to 4094) as (previous code, first byte of the current string); after 4094
// the dictionary stays frozen; there is no clear code; 0xFFF ends the
// stream. Codes are packed two in three bytes, least significant bits first.
//
// Greedy matching keeps encoder and decoder in step: when the longest known
// string w is emitted and byte c follows, the encoder adds w + c, which is
// exactly the entry the decoder defines when it reads the next code. That
// next code may be the one just added (the w c w c w case), which the
// decoder resolves from the previous string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lzw {

inline constexpr uint32_t kEndCode = 0xFFF;
inline constexpr uint32_t kFirstFree = 256;
inline constexpr uint32_t kLastCode = 4094;

struct EncodeStats {
    size_t codes = 0;          // codes written, the end code included
    uint32_t highest_code = 0; // highest dictionary code defined (255: none)
};

// Packs 12-bit codes into bytes: for codes a, b the bytes are a & 0xFF,
// (a >> 8) | (b & 0x0F) << 4, b >> 4. An odd final code takes one byte and
// the low half of the next.
inline std::vector<uint8_t> pack_codes(std::span<const uint16_t> codes) {
    std::vector<uint8_t> out;
    out.reserve(codes.size() * 3 / 2 + 2);
    for (size_t i = 0; i < codes.size(); i += 2) {
        const uint32_t a = codes[i] & 0xFFFu;
        const uint32_t b = i + 1 < codes.size() ? codes[i + 1] & 0xFFFu : 0;
        out.push_back(static_cast<uint8_t>(a & 0xFF));
        out.push_back(static_cast<uint8_t>((a >> 8) | ((b & 0x0F) << 4)));
        if (i + 1 < codes.size()) out.push_back(static_cast<uint8_t>(b >> 4));
    }
    return out;
}

// The codes for data, the end code last. Empty data gives the end code
// alone (a stream the decoder rejects: it must start with a literal).
inline std::vector<uint16_t> encode_codes(std::span<const uint8_t> data,
                                          EncodeStats* stats = nullptr) {
    std::vector<uint16_t> codes;
    uint32_t next_free = kFirstFree;
    if (!data.empty()) {
        // child[w * 256 + c]: the code of string(w) + c, 0 when unknown
        // (0 can never be a dictionary code).
        std::vector<uint16_t> child(static_cast<size_t>(kLastCode + 1) * 256, 0);
        uint32_t w = data[0];
        for (size_t i = 1; i < data.size(); ++i) {
            const uint8_t c = data[i];
            const uint16_t known = child[w * 256 + c];
            if (known != 0) {
                w = known;
                continue;
            }
            codes.push_back(static_cast<uint16_t>(w));
            if (next_free <= kLastCode) child[w * 256 + c] = static_cast<uint16_t>(next_free++);
            w = c;
        }
        codes.push_back(static_cast<uint16_t>(w));
    }
    codes.push_back(static_cast<uint16_t>(kEndCode));
    if (stats != nullptr) {
        stats->codes = codes.size();
        stats->highest_code = next_free - 1;
    }
    return codes;
}

// The packed stream for data.
inline std::vector<uint8_t> encode(std::span<const uint8_t> data, EncodeStats* stats = nullptr) {
    return pack_codes(encode_codes(data, stats));
}

}  // namespace lzw
