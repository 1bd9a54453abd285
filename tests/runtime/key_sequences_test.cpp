// Terminal escape sequences of the extended keys.
#include "runtime/key_sequences.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using lichtbox::match_key_sequence;
using lichtbox::SequenceMatch;

TEST(KeySequences, KnownSequencesGiveTheScreenKeyCodes) {
    struct Case {
        std::string bytes;
        uint8_t code;
    };
    const Case cases[] = {
        {"\x1b[A", 0x48},   {"\x1bOA", 0x48},   {"\x1b[B", 0x50},   {"\x1b[D", 0x4B},
        {"\x1b[C", 0x4D},   {"\x1b[H", 0x47},   {"\x1b[1~", 0x47},  {"\x1bOH", 0x47},
        {"\x1b[F", 0x4F},   {"\x1b[4~", 0x4F},  {"\x1b[5~", 0x49},  {"\x1b[6~", 0x51},
        {"\x1b[2~", 0x52},  {"\x1b[3~", 0x53},  {"\x1bOP", 0x3B},   {"\x1b[11~", 0x3B},
        {"\x1b[[A", 0x3B},  {"\x1bOQ", 0x3C},   {"\x1bOR", 0x3D},   {"\x1bOS", 0x3E},
        {"\x1b[15~", 0x3F}, {"\x1b[17~", 0x40}, {"\x1b[18~", 0x41}, {"\x1b[19~", 0x42},
        {"\x1b[20~", 0x43}, {"\x1b[21~", 0x44},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(1));
        uint8_t code = 0;
        size_t used = 0;
        // Followed by more input: only the sequence is used.
        const std::string input = c.bytes + "zz";
        EXPECT_EQ(match_key_sequence(input.data(), input.size(), &code, &used), SequenceMatch::full);
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(used, c.bytes.size());
    }
}

TEST(KeySequences, BeginningsArePartial) {
    for (const char* prefix : {"\x1b", "\x1b[", "\x1bO", "\x1b[1", "\x1b[15", "\x1b[[", "\x1b[2"}) {
        SCOPED_TRACE(prefix + 1);
        EXPECT_EQ(match_key_sequence(prefix, std::string(prefix).size(), nullptr, nullptr),
                  SequenceMatch::partial);
    }
}

TEST(KeySequences, OtherBytesMatchNothing) {
    for (const char* bytes : {"a", "\x1bx", "\x1b[Z", "\x1b[9~", "\x1b[16~", "\x1bOz"}) {
        SCOPED_TRACE(bytes);
        uint8_t code = 0x77;
        EXPECT_EQ(match_key_sequence(bytes, std::string(bytes).size(), &code, nullptr),
                  SequenceMatch::none);
        EXPECT_EQ(code, 0x77);
    }
    EXPECT_EQ(match_key_sequence(nullptr, 0, nullptr, nullptr), SequenceMatch::none);
}

}  // namespace
