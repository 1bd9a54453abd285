// Flood fill: collects the 4-connected region around a seed as horizontal
// runs without writing anything, then writes all runs under one screen lock,
// either in one colour or with an 8 x 8 tile anchored at the target's (0, 0).
//
// The search walks every run of the region once. A run is the maximal span
// of non-border pixels of a row inside the view, so any position of a row
// that already lies in a found run belongs to that run: each row keeps a
// list of its runs, and a row with many runs also a bitmap of the columns
// found so far, so the duplicate test stays O(1) however many runs a row
// has. Row entries carry the stamp of the search that wrote them, so a new
// search clears nothing. The runs live in one buffer that is also the work
// queue (first in, first out) and is kept between calls. Rows are read
// directly with vector compares (paint_scan.h) rather than pixel by pixel.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "gfx/core/context_internal.h"
#include "gfx/draw/paint_internal.h"
#include "gfx/draw/paint_scan.h"
#include "gfx/gfx.h"

namespace gfx::paint_detail {
namespace {

int g_fail_countdown = 0;  // the n-th buffer allocation fails; 0 = never
std::int64_t g_last_run_count = 0;

void* grow_block(void* block, std::size_t bytes) {
    if (g_fail_countdown > 0 && --g_fail_countdown == 0) return nullptr;
    return std::realloc(block, bytes);
}

// A growable array of plain records that keeps its storage until released.
template <class T>
class Buffer {
public:
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { std::free(data_); }

    T* data() { return data_; }
    T& operator[](std::size_t i) { return data_[i]; }
    std::size_t size() const { return size_; }
    std::size_t bytes_reserved() const { return cap_ * sizeof(T); }
    void clear() { size_ = 0; }
    void release() {
        std::free(data_);
        data_ = nullptr;
        size_ = cap_ = 0;
    }

    // Appends n uninitialised items; null when memory ran out (contents kept).
    T* append(std::size_t n) {
        if (cap_ - size_ < n) {
            if (n > SIZE_MAX / sizeof(T) / 2 - size_) return nullptr;
            const std::size_t want = std::max({cap_ * 2, size_ + n, std::size_t{64}});
            void* grown = grow_block(data_, want * sizeof(T));
            if (!grown) return nullptr;
            data_ = static_cast<T*>(grown);
            cap_ = want;
        }
        T* first = data_ + size_;
        size_ += n;
        return first;
    }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t cap_ = 0;
};

struct Run {
    int32_t y, x1, x2;
    int32_t parent;  // index of the run whose scan found it; -1 for the seed's
    int32_t next;    // the row's previously found run, or -1
};

// What the current search knows of one view row. Valid only while `stamp`
// equals the search's stamp, so starting a search clears nothing.
struct RowInfo {
    uint32_t stamp;
    int32_t head;   // the row's most recently found run
    int32_t count;  // runs found in the row
    int32_t slot;   // the row's column bitmap in Scratch::bits, or -1
};

// Buffers reused by every fill on this thread.
struct Scratch {
    Buffer<Run> runs;       // the region, in the order found; also the queue
    Buffer<RowInfo> rows;   // per view row, stamped
    Buffer<uint64_t> bits;  // column bitmaps of rows with many runs: bit i = column view_x + i found
    uint32_t stamp = 0;     // of the current search; never 0

    void release() {
        runs.release();
        rows.release();
        bits.release();
        stamp = 0;
    }
    // Storage kept after a call beyond this is returned (a fill of a huge
    // image buffer should not pin its memory for the rest of the run).
    void trim() {
        constexpr std::size_t kKeep = std::size_t{8} << 20;
        if (runs.bytes_reserved() + rows.bytes_reserved() + bits.bytes_reserved() > kKeep) release();
    }
    // A fresh stamp and row entries for vh rows. False when memory ran out.
    bool start(int32_t vh) {
        runs.clear();
        bits.clear();
        if (rows.size() < std::size_t(vh)) {
            const std::size_t old = rows.size();
            RowInfo* added = rows.append(std::size_t(vh) - old);
            if (!added) return false;
            std::memset(static_cast<void*>(added), 0, (std::size_t(vh) - old) * sizeof(RowInfo));
        }
        if (++stamp == 0) {  // wrapped: old stamps could match again
            std::memset(static_cast<void*>(rows.data()), 0, rows.size() * sizeof(RowInfo));
            stamp = 1;
        }
        return true;
    }
};

thread_local Scratch t_scratch;

// ---- column bitmaps ---------------------------------------------------------

inline bool test_bit(const uint64_t* bits, int64_t i) { return (bits[i >> 6] >> (i & 63)) & 1u; }

inline void set_bits(uint64_t* bits, int64_t first, int64_t last) {
    const int64_t w0 = first >> 6, w1 = last >> 6;
    const uint64_t head = ~uint64_t{0} << (first & 63);
    const uint64_t tail = ~uint64_t{0} >> (63 - (last & 63));
    if (w0 == w1) {
        bits[w0] |= head & tail;
        return;
    }
    bits[w0] |= head;
    for (int64_t w = w0 + 1; w < w1; ++w) bits[w] = ~uint64_t{0};
    bits[w1] |= tail;
}

// First clear bit at or after i, or limit when none lies before it.
inline int64_t next_clear(const uint64_t* bits, int64_t i, int64_t limit, std::size_t words) {
    std::size_t w = std::size_t(i >> 6);
    uint64_t open = ~bits[w] & (~uint64_t{0} << (i & 63));
    while (open == 0) {
        if (++w == words) return limit;
        open = ~bits[w];
    }
    return std::min(int64_t(w) * 64 + __builtin_ctzll(open), limit);
}

// ---- the search ---------------------------------------------------------------

// Rows with up to this many runs are checked for known runs by walking
// their list; busier rows get a column bitmap.
constexpr int32_t kListRuns = 8;
constexpr int32_t kNoRun = INT32_MIN;

// Finds the region's runs into scratch.runs. False when memory ran out.
// Wide: the long scans use 32-byte compares.
template <int Bpp, bool Wide>
class Search {
public:
    Search(Scratch& scratch, uint8_t* const* line, int32_t vx, int32_t vy, int32_t vw, int32_t vh,
           uint32_t border)
        : s_(scratch), line_(line), vx_(vx), vy_(vy), vh_(vh), right_(vx + vw - 1), border_(border),
          words_((std::size_t(vw) + 63) / 64), width_(vw) {}

    bool run(int32_t sx, int32_t sy) {
        if (!s_.start(vh_)) return false;
        rows_ = s_.rows.data();
        stamp_ = s_.stamp;
        int32_t right;
        if (!add_run(sy, sx, -1, &right)) return false;
        const int64_t bottom = int64_t(vy_) + vh_;
        for (std::size_t head = 0; head < s_.runs.size(); ++head) {
            const Run r = s_.runs[head];
            // The run that found this one lies on a neighbouring row and
            // usually covers the scan's first column: skip it directly.
            Run known{kNoRun, 0, -1, -1, -1};
            if (r.parent >= 0) known = s_.runs[std::size_t(r.parent)];
            const auto self = int32_t(head);
            if (r.y - 1 >= vy_ && !scan_row(r.y - 1, r.x1, r.x2, self, known)) return false;
            if (r.y + 1 < bottom && !scan_row(r.y + 1, r.x1, r.x2, self, known)) return false;
        }
        return true;
    }

private:
    // Last column of the known run of row y that holds column p, or kNoRun.
    int32_t known_end(int32_t y, int32_t p) const {
        const RowInfo& info = rows_[y - vy_];
        if (info.stamp != stamp_) return kNoRun;
        if (info.slot >= 0) {
            const uint64_t* bits = s_.bits.data() + std::size_t(info.slot) * words_;
            if (!test_bit(bits, p - vx_)) return kNoRun;
            return int32_t(vx_ + next_clear(bits, p - vx_, width_, words_) - 1);
        }
        const Run* runs = s_.runs.data();
        for (int32_t i = info.head; i >= 0; i = runs[i].next)
            if (p >= runs[i].x1 && p <= runs[i].x2) return runs[i].x2;
        return kNoRun;
    }

    // Gives row y a column bitmap holding its runs so far.
    bool add_bitmap(RowInfo& info) {
        const std::size_t used = s_.bits.size() / words_;
        uint64_t* bits = s_.bits.append(words_);
        if (!bits) return false;
        std::memset(bits, 0, words_ * sizeof(uint64_t));
        const Run* runs = s_.runs.data();
        for (int32_t i = info.head; i >= 0; i = runs[i].next) set_bits(bits, runs[i].x1 - vx_, runs[i].x2 - vx_);
        info.slot = int32_t(used);
        return true;
    }

    // Records the run through the non-border pixel (p, y); *right gets its
    // last column. `hint` is where its right end is expected (the column
    // after it).
    bool add_run(int32_t y, int32_t p, int32_t parent, int32_t* right, int32_t hint = INT32_MIN) {
        const uint8_t* row = line_[y];
        int32_t x1 = p;
        if (p > vx_ && paint_scan::pixel_at<Bpp>(row, p - 1) != border_)
            x1 = paint_scan::find_last_equal<Bpp>(row, vx_, p - 2, border_) + 1;
        int32_t x2;
#if defined(LICHTBOX_SCAN_AVX2)
        if constexpr (Wide) x2 = paint_scan::find_first_equal_near_wide<Bpp>(row, p + 1, right_, border_, hint) - 1;
        else
#endif
            x2 = paint_scan::find_first_equal_near<Bpp>(row, p + 1, right_, border_, hint) - 1;
        Run* run = s_.runs.append(1);
        if (!run) return false;
        RowInfo& info = rows_[y - vy_];
        if (info.stamp != stamp_) info = RowInfo{stamp_, -1, 0, -1};
        *run = Run{y, x1, x2, parent, info.head};
        info.head = int32_t(s_.runs.size() - 1);
        if (info.slot >= 0) {
            set_bits(s_.bits.data() + std::size_t(info.slot) * words_, x1 - vx_, x2 - vx_);
        } else if (++info.count > kListRuns && !add_bitmap(info)) {
            return false;
        }
        *right = x2;
        return true;
    }

    // Finds the runs of row y that touch columns x1..x2 of run `self`;
    // `known` is the run that found `self`. The first new run is expected
    // to end near x2, as the rows of a smooth region change little; later
    // ones get no hint, which bounds what a wrong hint costs to one extra
    // pass over x1..x2.
    bool scan_row(int32_t y, int32_t x1, int32_t x2, int32_t self, const Run& known) {
        const uint8_t* row = line_[y];
        int32_t hint = x2 + 1;
        int32_t p = x1;
        if (known.y == y && p >= known.x1 && p <= known.x2) p = known.x2 + 2;
        while (p <= x2) {
            int32_t end = known_end(y, p);
            if (end != kNoRun) {
                p = end + 2;  // after the border pixel behind the known run
                continue;
            }
            int32_t q = p;
            if (paint_scan::pixel_at<Bpp>(row, p) == border_) {
                q = paint_scan::find_first_not_equal<Bpp>(row, p + 1, x2, border_);
                if (q > x2) break;
                end = known_end(y, q);
                if (end != kNoRun) {
                    p = end + 2;
                    continue;
                }
            }
            if (!add_run(y, q, self, &end, hint)) return false;
            hint = INT32_MIN;
            p = end + 2;
        }
        return true;
    }

    Scratch& s_;
    uint8_t* const* line_;
    const int32_t vx_, vy_, vh_, right_;
    const uint32_t border_;
    const std::size_t words_;
    const int64_t width_;
    RowInfo* rows_ = nullptr;
    uint32_t stamp_ = 0;
};

template <bool Wide>
bool search(Scratch& s, const GfxDrawState* state, int32_t sx, int32_t sy, uint32_t border) {
    switch (state->target_bpp) {
    case 1:
        return Search<1, Wide>(s, state->line, state->view_x, state->view_y, state->view_w, state->view_h, border)
            .run(sx, sy);
    case 2:
        return Search<2, Wide>(s, state->line, state->view_x, state->view_y, state->view_w, state->view_h, border)
            .run(sx, sy);
    default:
        return Search<4, Wide>(s, state->line, state->view_x, state->view_y, state->view_w, state->view_h, border)
            .run(sx, sy);
    }
}

bool find_region(GfxDrawState* state, int32_t sx, int32_t sy, uint32_t border) {
    Scratch& s = t_scratch;
    const int32_t bpp = state->target_bpp;
    // A border value wider than the pixel never matches: the region is the
    // whole view, one run per row.
    if ((bpp == 1 && border > 0xFFu) || (bpp == 2 && border > 0xFFFFu)) {
        s.runs.clear();
        Run* runs = s.runs.append(std::size_t(state->view_h));
        if (!runs) return false;
        for (int32_t i = 0; i < state->view_h; ++i)
            runs[i] = Run{state->view_y + i, state->view_x, state->view_x + state->view_w - 1, i - 1, -1};
        return true;
    }
    static const bool wide = paint_scan::has_wide_scan();
    if (wide) return search<true>(s, state, sx, sy, border);
    return search<false>(s, state, sx, sy, border);
}

// ---- writing --------------------------------------------------------------------

constexpr int32_t kTileBytes = 256;
constexpr int32_t kPatternPixels = 64;  // pixels copied per step; a multiple of 8

// Writes every run with tile pixel (x mod 8, y mod 8).
void write_tiled(GfxDrawState* state, Run* runs, std::size_t count, const uint8_t* tile) {
    const int32_t bpp = state->target_bpp;
    // Each tile row repeated so that any start column mod 8 can be followed
    // by kPatternPixels pixels without wrapping.
    uint8_t pattern[8][(kPatternPixels + 8) * 4];
    for (int32_t ty = 0; ty < 8; ++ty)
        for (int32_t i = 0; i < kPatternPixels + 8; ++i)
            std::memcpy(&pattern[ty][i * bpp], tile + ((ty * 8) + (i & 7)) * bpp, std::size_t(bpp));
    for (std::size_t i = count; i-- > 0;) {
        const Run& r = runs[i];
        const uint8_t* src = &pattern[r.y & 7][(r.x1 & 7) * bpp];
        uint8_t* dst = state->line[r.y] + std::ptrdiff_t(r.x1) * bpp;
        for (int32_t left = r.x2 - r.x1 + 1; left > 0; left -= kPatternPixels) {
            const int32_t n = std::min(left, kPatternPixels);
            std::memcpy(dst, src, std::size_t(n) * std::size_t(bpp));
            dst += std::ptrdiff_t(n) * bpp;
        }
    }
}

}  // namespace

void set_alloc_failure_after(int n) {
    t_scratch.release();
    g_fail_countdown = n < 0 ? 0 : n;
}

void set_search_stamp(std::uint32_t stamp) { t_scratch.stamp = stamp; }

std::int64_t last_run_count() { return g_last_run_count; }

}  // namespace gfx::paint_detail

extern "C" void gfx_paint(void* target, float x, float y, uint32_t fill, uint32_t border, RuntimeString* tile,
                          int32_t mode, uint32_t flags) {
    using namespace gfx::paint_detail;
    g_last_run_count = 0;
    GfxDrawState* state = gfx_get_draw_state();
    if (!state || !gfx_context() || !gfx::select_target(state, target)) {
        rt_str_release_temp(tile);
        return;
    }
    const int32_t bpp = state->target_bpp;
    fill = (flags & GFX_COLOR_OMITTED) ? state->fg_color : gfx_color_to_pixel(bpp, fill);
    border = (flags & GFX_BORDER_OMITTED) ? fill : gfx_color_to_pixel(bpp, border);
    gfx_select_pixel_routines(state, fill);

    gfx_resolve_relative(state, int32_t(flags), &x, &y, nullptr, nullptr);
    int32_t sx, sy;
    gfx_translate_coords(state, x, y, &sx, &sy);

    uint8_t tile_pixels[kTileBytes] = {};
    if (mode == 1 && tile) {
        const int32_t n = std::min(rt_str_len(tile), kTileBytes);
        if (n > 0 && tile->data) std::memcpy(tile_pixels, tile->data, std::size_t(n));
    }
    rt_str_release_temp(tile);

    if (bpp != 1 && bpp != 2 && bpp != 4) return;  // no pixel routines read such rows safely
    if (sx < state->view_x || int64_t(sx) >= int64_t(state->view_x) + state->view_w || sy < state->view_y ||
        int64_t(sy) >= int64_t(state->view_y) + state->view_h)
        return;
    if (state->get_pixel(state, sx, sy) == border) return;

    Scratch& s = t_scratch;
    if (!find_region(state, sx, sy, border)) {
        s.release();  // out of memory: paint nothing, keep nothing
        return;
    }

    Run* runs = s.runs.data();
    const std::size_t count = s.runs.size();
    int32_t top = INT32_MAX, bottom = INT32_MIN;
    gfx_lock();
    // Runs are disjoint, so their order does not change the result. Last
    // found first: those pixels were read most recently and are still in
    // the cache, and the next fill's search, which starts at its seed, finds
    // the pixels around it (written last) there too.
    if (mode == 0) {
        const GfxPixelSet set = state->pixel_set;
        for (std::size_t i = count; i-- > 0;) {
            const Run& r = runs[i];
            set(state->line[r.y] + std::ptrdiff_t(r.x1) * bpp, fill, r.x2 - r.x1 + 1);
            top = std::min(top, r.y);
            bottom = std::max(bottom, r.y);
        }
    } else {
        write_tiled(state, runs, count, tile_pixels);
        for (std::size_t i = 0; i < count; ++i) {
            top = std::min(top, runs[i].y);
            bottom = std::max(bottom, runs[i].y);
        }
    }
    // The region is connected, so every row from top to bottom holds a run.
    gfx_mark_dirty(state, top, bottom - top + 1);
    gfx_unlock();

    g_last_run_count = int64_t(count);
    s.trim();
}
