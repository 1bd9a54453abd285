#include "runtime/terminal_engine.h"

#include <algorithm>
#include <utility>

namespace lichtbox {

TerminalEngine::TerminalEngine(Callbacks callbacks) : cb_(std::move(callbacks)) {}

void TerminalEngine::scroll_to_bottom() {
    if (has_bottom() && y_ > region_.bottom) {
        if (cb_.scroll) cb_.scroll(y_ - region_.bottom);
        y_ = region_.bottom;
    }
}

void TerminalEngine::write_out(const char* bytes, int32_t len) {
    while (len > 0) {
        // A cursor left outside the row (moved there by its owner) starts
        // on the next line rather than looping forever.
        if (x_ > region_.right) {
            x_ = region_.left;
            ++y_;
        }
        if (x_ < region_.left) x_ = region_.left;
        const int32_t c = std::min(region_.right - x_ + 1, len);
        scroll_to_bottom();
        cb_.write_run(x_, y_, bytes, c);
        x_ += c;
        bytes += c;
        len -= c;
        if (x_ == region_.right + 1) {
            x_ = region_.left;
            ++y_;
        }
    }
}

void TerminalEngine::run(const char* bytes, int32_t len) {
    static constexpr char kBlanks[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    if (bytes == nullptr || len <= 0) return;

    int32_t run_start = 0;
    int32_t run_len = 0;
    bool moved_last = false;  // the last action was a cursor-moving control byte

    auto flush = [&] {
        if (run_len > 0) {
            write_out(bytes + run_start, run_len);
            run_len = 0;
            moved_last = false;
        }
    };

    for (int32_t i = 0; i < len; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        switch (b) {
        case 7:
            flush();
            if (cb_.beep) cb_.beep();
            moved_last = false;
            break;
        case 8:
            flush();
            moved_last = x_ > region_.left;
            if (moved_last) {
                --x_;
                if (cb_.control) cb_.control(b);
            }
            break;
        case 9: {
            flush();
            if (x_ > region_.right) {
                x_ = region_.left;
                ++y_;
            }
            // Blanks up to the next multiple of 8 from the left edge; like any
            // run they wrap at the right edge.
            write_out(kBlanks, 8 - (x_ - region_.left) % 8);
            moved_last = false;
            break;
        }
        case 10:
            flush();
            x_ = region_.left;
            ++y_;
            moved_last = true;
            if (cb_.control) cb_.control(b);
            break;
        case 13:
            flush();
            x_ = region_.left;
            moved_last = true;
            if (cb_.control) cb_.control(b);
            break;
        default:
            if (run_len == kMaxRun) flush();
            if (run_len == 0) run_start = i;
            ++run_len;
            break;
        }
    }
    flush();
    if (moved_last) scroll_to_bottom();
}

void TerminalEngine::print(const char* bytes, int32_t len) {
    if (wrap_pending_) {
        wrap_pending_ = false;
        ++y_;
        x_ = region_.left;
        scroll_to_bottom();
    }
    run(bytes, len);
    if (has_bottom() && x_ == region_.left && y_ == region_.bottom + 1) {
        wrap_pending_ = true;
        x_ = region_.right;
        y_ = region_.bottom;
    } else {
        scroll_to_bottom();
    }
}

}  // namespace lichtbox
