// Line input on the graphics console: the line editor behind read_str and
// the prompting line readers into runtime strings and wide buffers.
#include <cstring>
#include <new>
#include <string>

#include "gfx/console/console_internal.h"
#include "gfx/core/context_internal.h"

namespace gfx {
namespace {

constexpr char kMark = char(219);  // full block: where the next key lands
constexpr int32_t kPrintInput = 0x8;

// Storage of the line being edited.
class LineStore {
public:
    virtual ~LineStore() = default;
    virtual int64_t size() const = 0;
    virtual bool full() const = 0;
    // False when memory ran out.
    virtual bool push(char c) = 0;
    virtual void pop() = 0;
};

// At most `capacity` characters in a caller's buffer (capacity may be
// negative: then nothing is ever stored).
class FixedStore final : public LineStore {
public:
    FixedStore(char* buffer, int64_t capacity) : buffer_(buffer), capacity_(capacity) {}
    int64_t size() const override { return size_; }
    bool full() const override { return size_ >= capacity_; }
    bool push(char c) override {
        buffer_[size_++] = c;
        return true;
    }
    void pop() override { --size_; }

private:
    char* buffer_;
    int64_t capacity_;
    int64_t size_ = 0;
};

// A line without a fixed limit (bounded by the length of a runtime string).
class GrowingStore final : public LineStore {
public:
    explicit GrowingStore(int64_t capacity) : capacity_(capacity) {}
    int64_t size() const override { return int64_t(text_.size()); }
    bool full() const override { return size() >= capacity_; }
    bool push(char c) override {
        try {
            text_.push_back(c);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    void pop() override { text_.pop_back(); }
    const std::string& text() const { return text_; }

private:
    std::string text_;
    int64_t capacity_;
};

void print(const char* bytes, int32_t n) { graphics_print_buffer(bytes, n, 0); }

// Prints the mark and steps back onto it.
void show_mark(GfxContext* ctx) {
    print(&kMark, 1);
    console_cursor_left(ctx);
}

enum class EditResult { done, out_of_memory, no_screen };

// Reads keys until Enter, echoing them with the mark after the last one.
EditResult edit_line(LineStore& store) {
    GfxContext* ctx = context();
    if (!ctx) return EditResult::no_screen;
    show_mark(ctx);
    for (;;) {
        const int32_t key = gfx_getkey();
        ctx = context();
        if (!ctx) return EditResult::no_screen;  // the screen closed while waiting
        if (key <= 0 || key >= 256 || key == 7) continue;
        if (key == 8) {
            if (store.size() == 0) continue;
            // Back onto the last character: the mark goes there and its
            // old cell is blanked.
            console_cursor_left(ctx);
            store.pop();
            const char erase[2] = {kMark, ' '};
            print(erase, 2);
            console_cursor_left(ctx);
            console_cursor_left(ctx);
            continue;
        }
        if (key == 13) {
            if (!store.full()) {
                print(" ", 1);
                if (!store.push('\r')) return EditResult::out_of_memory;
                print("\r", 1);
            }
            return EditResult::done;
        }
        if (store.full()) continue;
        const char c = static_cast<char>(key);
        if (!store.push(c)) return EditResult::out_of_memory;
        print(&c, 1);
        show_mark(ctx);
    }
}

// Settles a pending line end, then prints the prompt parts.
void begin_input(const char* prompt, int32_t prompt_len, const uint16_t* wide_prompt, int32_t flags) {
    graphics_print_buffer(nullptr, 0, kPrintInput);
    if (prompt && prompt_len > 0) print(prompt, prompt_len);
    if (wide_prompt && prompt_len > 0) graphics_print_buffer_wide(wide_prompt, prompt_len, 0);
    if (flags & RT_INPUT_QUESTION) print("? ", 2);
}

void end_input(int32_t flags) {
    if (flags & RT_INPUT_NEWLINE) print("\r\n", 2);
}

// The line without the Enter the editor stored.
std::size_t line_length(const std::string& text) {
    return !text.empty() && text.back() == '\r' ? text.size() - 1 : text.size();
}

}  // namespace

char* graphics_read_str(char* buffer, int32_t size) {
    const int64_t capacity = buffer ? int64_t(size) - 1 : -1;
    FixedStore store(buffer, capacity);
    edit_line(store);
    if (buffer && size > 0) buffer[store.size()] = 0;
    return buffer;
}

int32_t graphics_line_input(RuntimeString* prompt, RuntimeString* target, int32_t flags) {
    const int32_t prompt_len = rt_str_len(prompt);
    begin_input(prompt_len > 0 ? prompt->data : nullptr, prompt_len, nullptr, flags);
    rt_str_release_temp(prompt);

    GrowingStore store(RT_STR_LEN_MASK);
    const EditResult result = edit_line(store);
    end_input(flags);
    if (result != EditResult::done) return rt_set_error(RT_ERR_MEMORY);
    if (target) {
        const std::string& text = store.text();
        if (rt_str_assign(target, text.data(), int32_t(line_length(text))) != RT_OK)
            return rt_set_error(RT_ERR_MEMORY);
    }
    return rt_set_error(RT_OK);
}

int32_t graphics_line_input_wide(const uint16_t* prompt, int32_t prompt_len, uint16_t* buffer, int32_t size,
                                 int32_t flags) {
    begin_input(nullptr, prompt ? prompt_len : 0, prompt, flags);

    // The line goes to the wide buffer, one unit per byte, closed by a zero.
    const int64_t capacity = buffer ? int64_t(size) - 1 : -1;
    GrowingStore store(capacity);
    const EditResult result = edit_line(store);
    end_input(flags);
    if (result != EditResult::done) return rt_set_error(RT_ERR_MEMORY);
    if (buffer && size > 0) {
        const std::string& text = store.text();
        const std::size_t n = line_length(text);
        for (std::size_t i = 0; i < n; ++i) buffer[i] = static_cast<unsigned char>(text[i]);
        buffer[n] = 0;
    }
    return rt_set_error(RT_OK);
}

}  // namespace gfx
