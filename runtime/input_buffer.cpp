#include "runtime/input_buffer.h"

#include "runtime/key_sequences.h"

namespace lichtbox::tty {
namespace {

// How long the rest of a started escape sequence may take to arrive.
constexpr int kEscapeWaitMs = 30;
constexpr unsigned char kEsc = 0x1B;

}  // namespace

void InputBuffer::skip_nul() {
    size_t i = 0;
    while (i < pending_.size() && pending_[i] == '\0') ++i;
    pending_.erase(0, i);
}

int32_t InputBuffer::take_key(bool wait) {
    for (;;) {
        skip_nul();
        if (pending_.empty()) {
            if (fill(wait ? -1 : 0) <= 0) return 0;
            continue;
        }
        const auto first = static_cast<unsigned char>(pending_[0]);
        if (first != kEsc) {
            pending_.erase(0, 1);
            return first;
        }
        uint8_t code = 0;
        size_t used = 0;
        SequenceMatch m = match_key_sequence(pending_.data(), pending_.size(), &code, &used);
        // A sequence cut short by the read: give its rest a moment.
        while (m == SequenceMatch::partial && fill(kEscapeWaitMs) > 0)
            m = match_key_sequence(pending_.data(), pending_.size(), &code, &used);
        if (m == SequenceMatch::full) {
            pending_.erase(0, used);
            return (static_cast<int32_t>(code) << 8) | 0xFF;
        }
        pending_.erase(0, 1);
        return kEsc;
    }
}

int32_t InputBuffer::key_waiting() {
    skip_nul();
    while (pending_.empty()) {
        if (fill(0) <= 0) return 0;
        skip_nul();
    }
    return 1;
}

bool InputBuffer::read_line(std::string& line) {
    for (;;) {
        const size_t end = pending_.find_first_of("\r\n");
        if (end != std::string::npos) {
            line.assign(pending_, 0, end);
            size_t used = end + 1;
            if (pending_[end] == '\r' && used < pending_.size() && pending_[used] == '\n') ++used;
            pending_.erase(0, used);
            return true;
        }
        if (fill(-1) < 0) {
            if (pending_.empty()) return false;
            line = std::move(pending_);
            pending_.clear();
            return true;
        }
    }
}

}  // namespace lichtbox::tty
