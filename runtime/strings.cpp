// Runtime strings: caller-owned strings and the pool of temporary strings.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "runtime/runtime.h"

namespace {

constexpr int32_t kPoolSize = 256;

// Returned when no descriptor (or no memory) is left. It carries the
// temporary mark so that receivers treat it like any temporary, but it is
// not a pool descriptor, so releasing it does nothing.
RuntimeString g_empty = {nullptr, RT_STR_TEMP, 0};

class TempPool {
public:
    // A free descriptor, or null when all are in use.
    RuntimeString* acquire() {
        std::lock_guard<std::mutex> lock(mutex_);
        set_up();
        if (free_count_ == 0) return nullptr;
        const int32_t index = free_[--free_count_];
        in_use_[index] = true;
        return &slots_[index];
    }

    // Frees a temporary pool string; anything else is left alone.
    void release(RuntimeString* s) {
        const int32_t index = index_of(s);
        if (index < 0) return;
        char* data = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!in_use_[index] || (s->length & RT_STR_TEMP) == 0) return;
            data = s->data;
            *s = RuntimeString{nullptr, 0, 0};
            in_use_[index] = false;
            free_[free_count_++] = index;
        }
        std::free(data);
    }

    int32_t in_use() {
        std::lock_guard<std::mutex> lock(mutex_);
        set_up();
        return kPoolSize - free_count_;
    }

private:
    void set_up() {
        if (ready_) return;
        for (int32_t i = 0; i < kPoolSize; ++i) free_[i] = kPoolSize - 1 - i;
        free_count_ = kPoolSize;
        ready_ = true;
    }

    // Index of s in the pool, or -1 for any other address.
    int32_t index_of(const RuntimeString* s) const {
        const auto base = reinterpret_cast<std::uintptr_t>(slots_);
        const auto p = reinterpret_cast<std::uintptr_t>(s);
        if (p < base || p >= base + sizeof(slots_)) return -1;
        if ((p - base) % sizeof(RuntimeString) != 0) return -1;
        return static_cast<int32_t>((p - base) / sizeof(RuntimeString));
    }

    std::mutex mutex_;
    RuntimeString slots_[kPoolSize] = {};
    bool in_use_[kPoolSize] = {};
    int32_t free_[kPoolSize] = {};
    int32_t free_count_ = 0;
    bool ready_ = false;
};

// Made on first use and never destroyed: temporaries may be released from
// exit handlers, and the pool's mutex is not constant-initialised everywhere.
TempPool& pool() {
    static TempPool* const p = new TempPool;
    return *p;
}

uint32_t length_of(const RuntimeString* s) { return s ? (s->length & RT_STR_LEN_MASK) : 0u; }

}  // namespace

extern "C" {

int32_t rt_str_len(const RuntimeString* s) { return static_cast<int32_t>(length_of(s)); }

RuntimeString* rt_str_temp(const char* bytes, int32_t len) {
    if (bytes == nullptr || len <= 0) return &g_empty;
    auto* data = static_cast<char*>(std::malloc(static_cast<size_t>(len) + 1));
    if (data == nullptr) return &g_empty;
    std::memcpy(data, bytes, static_cast<size_t>(len));
    data[len] = '\0';
    RuntimeString* s = pool().acquire();
    if (s == nullptr) {
        std::free(data);
        return &g_empty;
    }
    s->data = data;
    s->length = static_cast<uint32_t>(len) | RT_STR_TEMP;
    s->capacity = len + 1;
    return s;
}

RuntimeString* rt_str_temp_cstr(const char* text) {
    if (text == nullptr) return &g_empty;
    const size_t n = std::strlen(text);
    if (n > RT_STR_LEN_MASK - 1) return &g_empty;
    return rt_str_temp(text, static_cast<int32_t>(n));
}

void rt_str_release_temp(RuntimeString* s) { pool().release(s); }

int32_t rt_str_assign(RuntimeString* dst, const char* bytes, int32_t len) {
    if (dst == nullptr || dst == &g_empty) return 0;
    if (bytes == nullptr || len <= 0) {
        rt_str_free(dst);
        return 0;
    }
    const auto need = static_cast<size_t>(len) + 1;
    if (dst->data != nullptr && dst->capacity > 0 && static_cast<size_t>(dst->capacity) >= need) {
        // memmove: the source may lie inside dst's own bytes.
        std::memmove(dst->data, bytes, static_cast<size_t>(len));
        dst->data[len] = '\0';
    } else {
        auto* data = static_cast<char*>(std::malloc(need));
        if (data == nullptr) return rt_set_error(RT_ERR_MEMORY);
        std::memcpy(data, bytes, static_cast<size_t>(len));
        data[len] = '\0';
        std::free(dst->data);
        dst->data = data;
        dst->capacity = static_cast<int32_t>(need);
    }
    dst->length = static_cast<uint32_t>(len);
    return 0;
}

void rt_str_free(RuntimeString* s) {
    if (s == nullptr || s == &g_empty) return;
    std::free(s->data);
    *s = RuntimeString{nullptr, 0, 0};
}

int32_t rt_str_compare(RuntimeString* a, RuntimeString* b) {
    // A descriptor without data counts as empty whatever its length says.
    const uint32_t la = (a && a->data) ? length_of(a) : 0u;
    const uint32_t lb = (b && b->data) ? length_of(b) : 0u;
    const uint32_t common = la < lb ? la : lb;
    int32_t result = 0;
    if (common > 0) {
        const int c = std::memcmp(a->data, b->data, common);  // compares as unsigned bytes
        result = (c > 0) - (c < 0);
    }
    if (result == 0) result = (la > lb) - (la < lb);
    rt_str_release_temp(a);
    if (b != a) rt_str_release_temp(b);
    return result;
}

RuntimeString* rt_str_from_int(int64_t v) {
    char buf[24];
    char* end = buf + sizeof(buf);
    char* p = end;
    // Work on the magnitude as unsigned so that INT64_MIN has one too.
    uint64_t m = v < 0 ? 0u - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    do {
        *--p = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m != 0);
    if (v < 0) *--p = '-';
    return rt_str_temp(p, static_cast<int32_t>(end - p));
}

int32_t rt_str_temps_in_use(void) { return pool().in_use(); }

}  // extern "C"
