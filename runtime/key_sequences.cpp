#include "runtime/key_sequences.h"

#include <string_view>

namespace lichtbox {
namespace {

struct KeySequence {
    std::string_view bytes;
    uint8_t code;
};

// xterm, VT220 and Linux-console forms. No entry is a prefix of another, so
// at most one entry matches fully.
constexpr KeySequence kSequences[] = {
    {"\x1b[A", kKeyUp},        {"\x1bOA", kKeyUp},
    {"\x1b[B", kKeyDown},      {"\x1bOB", kKeyDown},
    {"\x1b[D", kKeyLeft},      {"\x1bOD", kKeyLeft},
    {"\x1b[C", kKeyRight},     {"\x1bOC", kKeyRight},
    {"\x1b[H", kKeyHome},      {"\x1bOH", kKeyHome},
    {"\x1b[1~", kKeyHome},     {"\x1b[7~", kKeyHome},
    {"\x1b[F", kKeyEnd},       {"\x1bOF", kKeyEnd},
    {"\x1b[4~", kKeyEnd},      {"\x1b[8~", kKeyEnd},
    {"\x1b[2~", kKeyInsert},   {"\x1b[3~", kKeyDelete},
    {"\x1b[5~", kKeyPageUp},   {"\x1b[6~", kKeyPageDown},
    {"\x1bOP", 0x3B},          {"\x1b[11~", 0x3B},        {"\x1b[[A", 0x3B},
    {"\x1bOQ", 0x3C},          {"\x1b[12~", 0x3C},        {"\x1b[[B", 0x3C},
    {"\x1bOR", 0x3D},          {"\x1b[13~", 0x3D},        {"\x1b[[C", 0x3D},
    {"\x1bOS", 0x3E},          {"\x1b[14~", 0x3E},        {"\x1b[[D", 0x3E},
    {"\x1b[15~", 0x3F},        {"\x1b[[E", 0x3F},
    {"\x1b[17~", 0x40},        {"\x1b[18~", 0x41},        {"\x1b[19~", 0x42},
    {"\x1b[20~", 0x43},        {"\x1b[21~", kKeyF10},
};

}  // namespace

SequenceMatch match_key_sequence(const char* bytes, std::size_t len, uint8_t* code,
                                 std::size_t* used) {
    if (bytes == nullptr || len == 0) return SequenceMatch::none;
    const std::string_view input(bytes, len);
    bool partial = false;
    for (const KeySequence& seq : kSequences) {
        if (input.size() >= seq.bytes.size()) {
            if (input.substr(0, seq.bytes.size()) == seq.bytes) {
                if (code) *code = seq.code;
                if (used) *used = seq.bytes.size();
                return SequenceMatch::full;
            }
        } else if (seq.bytes.substr(0, input.size()) == input) {
            partial = true;
        }
    }
    return partial ? SequenceMatch::partial : SequenceMatch::none;
}

}  // namespace lichtbox
