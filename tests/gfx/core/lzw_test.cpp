// The 12-bit LZW decoder and the encoder that writes the built-in block.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "gfx/gfx.h"
#include "tools/lzw_encode.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Decoded {
    int32_t result;
    Bytes out;
};

Decoded decode(const Bytes& in, size_t capacity) {
    Bytes out(capacity + 1, 0xEE);  // one guard byte past the capacity
    size_t count = capacity;
    const int32_t result = gfx_lzw_decode(in.data(), in.size(), out.data(), &count);
    EXPECT_LE(count, capacity);
    EXPECT_EQ(out[capacity], 0xEE) << "wrote past the capacity";
    out.resize(count);
    return {result, out};
}

Bytes pack(const std::vector<uint16_t>& codes) { return lzw::pack_codes(codes); }

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// ---- stream format -------------------------------------------------------

TEST(LzwStream, PacksTwoCodesInThreeBytesLowBitsFirst) {
    EXPECT_EQ(pack({0x123, 0x456}), (Bytes{0x23, 0x61, 0x45}));
    // An odd final code leaves the high half of its second byte zero.
    EXPECT_EQ(pack({0x41, 0x100, 0xFFF}), (Bytes{0x41, 0x00, 0x10, 0xFF, 0x0F}));
}

TEST(LzwDecode, CodeBeingDefinedRepeatsTheFirstByte) {
    // 0x41, 0x100, 0xFFF written out by hand.
    const Decoded d = decode({0x41, 0x00, 0x10, 0xFF, 0x0F}, 16);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.out, text("AAA"));
}

TEST(LzwDecode, DefinedCodesExpandToTheirChains) {
    // a b (ab) (aba, being defined) -> "ab" + "ab" + "aba"
    const Decoded d = decode(pack({'a', 'b', 256, 258, 0xFFF}), 64);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.out, text("abababa"));
}

TEST(LzwDecode, BytesAfterTheEndCodeAreIgnored) {
    const Decoded d = decode(pack({'x', 0xFFF, 'y', 'z'}), 8);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.out, text("x"));
}

TEST(LzwDecode, OutputThatExactlyFitsSucceeds) {
    const Decoded d = decode(pack({0x41, 0x100, 0xFFF}), 3);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.out, text("AAA"));
}

// ---- failures --------------------------------------------------------------

struct FailureCase {
    const char* name;
    Bytes input;
    size_t capacity;
    std::string kept;  // what stays written
};

class LzwDecodeFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(LzwDecodeFailure, ReturnsMinusOneKeepingWhatWasWritten) {
    const FailureCase& c = GetParam();
    const Decoded d = decode(c.input, c.capacity);
    EXPECT_EQ(d.result, -1);
    EXPECT_EQ(d.out, text(c.kept));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LzwDecodeFailure,
    ::testing::Values(
        FailureCase{"EmptyInput", {}, 16, ""},
        FailureCase{"SingleByte", {0x41}, 16, ""},
        FailureCase{"SecondCodeCutShort", {0x41, 0x00}, 16, "A"},
        FailureCase{"TruncatedAfterTwoCodes", {0x41, 0x20, 0x04, 0xFF}, 16, "AB"},
        FailureCase{"MissingEndCode", pack({'A', 'B', 256}), 16, "ABAB"},
        FailureCase{"CodeAboveNextFree", pack({'A', 0x101, 0xFFF}), 16, "A"},
        FailureCase{"CodeFarAboveNextFree", pack({'A', 'B', 0xFFE, 0xFFF}), 16, "AB"},
        FailureCase{"FirstCodeNotALiteral", pack({0x100, 'A', 0xFFF}), 16, ""},
        FailureCase{"EndCodeOnly", pack({0xFFF}), 16, ""},
        FailureCase{"NoRoomAtAll", pack({'A', 0xFFF}), 0, ""},
        FailureCase{"OutputFullMidString", pack({0x41, 0x100, 0xFFF}), 2, "AA"},
        FailureCase{"OutputFullBeforeString", pack({'a', 'b', 'c', 0xFFF}), 2, "ab"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LzwDecode, NullArgumentsAreRejectedSafely) {
    const Bytes in = pack({'A', 0xFFF});
    EXPECT_EQ(gfx_lzw_decode(in.data(), in.size(), nullptr, nullptr), -1);
    uint8_t out[4] = {};
    size_t count = sizeof out;
    EXPECT_EQ(gfx_lzw_decode(nullptr, 3, out, &count), -1);
    EXPECT_EQ(count, 0u);
    count = sizeof out;
    EXPECT_EQ(gfx_lzw_decode(in.data(), in.size(), nullptr, &count), -1);
    EXPECT_EQ(count, 0u);
}

// ---- dictionary limits ----------------------------------------------------

// 3840 literals define codes 256..4094; further codes define nothing, and
// the last entry stays usable.
TEST(LzwDecode, DictionaryFreezesAfterCode4094) {
    std::vector<uint16_t> codes;
    std::string expected;
    for (int i = 0; i < 3840; ++i) {
        const uint8_t b = static_cast<uint8_t>((i * 7 + i / 256) & 0xFF);
        codes.push_back(b);
        expected += static_cast<char>(b);
    }
    // Entry 256 + j is (literal j, literal j + 1).
    codes.insert(codes.end(), {'x', 'y', 4094, 256, 0xFFF});
    expected += "xy";
    expected += expected.substr(3838, 2);
    expected += expected.substr(0, 2);

    const Decoded d = decode(pack(codes), expected.size());
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.out, text(expected));
}

// Codes 256, 257, ... each the one being defined: code k spells k - 254
// copies of 'a', so code 4094 is the longest possible chain.
TEST(LzwDecode, LongestChainsDecode) {
    std::vector<uint16_t> codes{'a'};
    size_t total = 1;
    for (uint16_t k = 256; k <= 4094; ++k) {
        codes.push_back(k);
        total += k - 254u;
    }
    codes.push_back(0xFFF);
    const Decoded d = decode(pack(codes), total);
    EXPECT_EQ(d.result, 0);
    ASSERT_EQ(d.out.size(), total);
    EXPECT_EQ(d.out, Bytes(total, 'a'));
}

// ---- encoder ---------------------------------------------------------------

TEST(LzwEncode, ProducesTheExpectedCodes) {
    EXPECT_EQ(lzw::encode_codes(text("AAA")), (std::vector<uint16_t>{0x41, 0x100, 0xFFF}));
    EXPECT_EQ(lzw::encode_codes(text("abababa")),
              (std::vector<uint16_t>{'a', 'b', 256, 258, 0xFFF}));
    EXPECT_EQ(lzw::encode_codes(text("z")), (std::vector<uint16_t>{'z', 0xFFF}));
    EXPECT_EQ(lzw::encode_codes({}), (std::vector<uint16_t>{0xFFF}));
}

void expect_round_trip(const Bytes& data, lzw::EncodeStats* stats = nullptr) {
    const Bytes stream = lzw::encode(data, stats);
    const Decoded d = decode(stream, data.size());
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.out == data, true) << "round trip differs, size " << data.size();
}

Bytes random_bytes(size_t n, uint32_t seed, int alphabet) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(0, alphabet - 1);
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(dist(rng));
    return b;
}

TEST(LzwEncode, RoundTripsRandomData) {
    for (size_t n : {1u, 2u, 3u, 4u, 5u, 255u, 1000u, 30000u})
        for (int alphabet : {2, 16, 256}) expect_round_trip(random_bytes(n, static_cast<uint32_t>(n), alphabet));
}

TEST(LzwEncode, RoundTripsRepetitiveData) {
    for (size_t n : {2u, 3u, 10u, 1000u, 100000u}) expect_round_trip(Bytes(n, 0x5A));
    Bytes pattern;
    for (int i = 0; i < 20000; ++i) pattern.push_back(static_cast<uint8_t>("abcab"[i % 5]));
    expect_round_trip(pattern);
    Bytes zeros_and_ramp(5000, 0);
    for (int i = 0; i < 5000; ++i) zeros_and_ramp.push_back(static_cast<uint8_t>(i));
    expect_round_trip(zeros_and_ramp);
}

// Enough varied data fills the dictionary; what follows is coded with the
// frozen entries and still comes back.
TEST(LzwEncode, RoundTripsPastAFullDictionary) {
    Bytes data = random_bytes(60000, 7, 256);
    const Bytes tail = random_bytes(20000, 8, 4);
    data.insert(data.end(), tail.begin(), tail.end());
    data.insert(data.end(), 30000, 0x11);

    lzw::EncodeStats stats;
    const std::vector<uint16_t> codes = lzw::encode_codes(data, &stats);
    EXPECT_EQ(stats.highest_code, 4094u);
    EXPECT_EQ(stats.codes, codes.size());
    for (size_t i = 0; i + 1 < codes.size(); ++i) ASSERT_LE(codes[i], 4094) << "at " << i;
    EXPECT_EQ(codes.back(), 0xFFF);
    expect_round_trip(data);
}

}  // namespace
