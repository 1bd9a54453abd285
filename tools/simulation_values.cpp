// Prints what the simulation computes for its pictures, through the same
// functions the drawing code calls (app/scene_math.h): the glow's colours
// and the panel buttons' shades once, then one line for every state the
// keys and the panel can reach. Two builds that print the same text draw
// the same pictures. No screen, plain stdio.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "app/scene_math.h"
#include "runtime/runtime.h"

namespace {

using namespace lichtbox;

// The scene changes of app/program.cpp, with their guards: keys r, l, n, w
// (panel buttons 2, 1, 5, 6), g and k (button 3), and '+' for button 4.
// Button 7 restores the start, which is reachable anyway.
bool apply(Scene& s, char move) {
    switch (move) {
        case 'r': if (s.object_x < s.wall_x - 2 * s.wall_t) { s.object_x += 2; return true; } break;
        case 'l': if (s.object_x > s.lamp_x + 20) { s.object_x -= 2; return true; } break;
        case 'n': if (s.wall_x > s.object_x + 2 * s.object_w) { s.wall_x -= 2; return true; } break;
        case 'w': if (s.wall_x < 640 - s.wall_t) { s.wall_x += 2; return true; } break;
        case 'g': if (s.object_h < 200) { s.object_h += 2; return true; } break;
        case 'k': if (s.object_h > 0) { s.object_h -= 1; return true; } break;
        case '+': if (s.object_h < 160) { s.object_h += 1; return true; } break;
    }
    return false;
}

// What the moves change: the object's and the wall's position, the
// object's height.
using State = std::tuple<int32_t, int32_t, int32_t>;  // object_x, wall_x, object_h

Scene scene_of(const State& state) {
    Scene s;
    std::tie(s.object_x, s.wall_x, s.object_h) = state;
    return s;
}

// The states reachable from the start with the given moves, sorted.
std::vector<State> reachable(const char* moves) {
    const Scene start{};
    std::vector<State> found{{start.object_x, start.wall_x, start.object_h}};
    std::set<State> seen{found[0]};
    for (std::size_t i = 0; i < found.size(); ++i) {
        for (const char* m = moves; *m; ++m) {
            Scene s = scene_of(found[i]);
            if (!apply(s, *m)) continue;
            const State next{s.object_x, s.wall_x, s.object_h};
            if (seen.insert(next).second) found.push_back(next);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The lines of the states, millions of them: built in a buffer that flush()
// writes out, with the few thousand different doubles formatted once each
// (%.17g, which is exact).
class Output {
public:
    explicit Output(std::FILE* file) : file_(file) {}

    Output& operator<<(int64_t v) {
        char digits[24];
        int n = 0;
        uint64_t u = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
        do digits[n++] = char('0' + u % 10); while ((u /= 10) != 0);
        if (v < 0) digits[n++] = '-';
        while (n > 0) put(digits[--n]);
        return *this;
    }
    Output& operator<<(int32_t v) { return *this << int64_t(v); }
    Output& operator<<(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        auto [it, added] = texts_.try_emplace(bits);
        if (added) {
            char text[32];
            std::snprintf(text, sizeof text, "%.17g", v);
            it->second = text;
        }
        for (char c : it->second) put(c);
        return *this;
    }
    Output& operator<<(char c) {
        put(c);
        return *this;
    }
    bool flush() {
        const bool ok = std::fwrite(buffer_.data(), 1, used_, file_) == used_;
        used_ = 0;
        return ok && std::fflush(file_) == 0;
    }

private:
    void put(char c) {
        if (used_ == buffer_.size()) flush();
        buffer_[used_++] = c;
    }

    std::FILE* file_;
    std::vector<char> buffer_ = std::vector<char>(1 << 16);
    std::size_t used_ = 0;
    std::unordered_map<uint64_t, std::string> texts_;
};

}  // namespace

// The text goes to standard output, or into the file named by the only
// argument (a run under Node.js keeps everything written to standard
// output in memory; a file is written as it goes).
int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: simulation_values [FILE]\n");
        return 2;
    }
    std::FILE* file = argc == 2 ? std::fopen(argv[1], "wb") : stdout;
    if (!file) {
        std::fprintf(stderr, "simulation_values: cannot write %s\n", argv[1]);
        return 1;
    }
    rt_init();

    const Scene start{};
    const Glow glow = glow_of(start);
    std::fprintf(file, "# glow: radius colour\n");
    for (int64_t n = glow.outer_radius; n >= 0; n -= 2)
        std::fprintf(file, "glow %" PRId64 " %08" PRIx32 "\n", n, glow_color(glow, n));

    std::fprintf(file, "# buttons: index face left top right bottom label_offset\n");
    for (int32_t i = 1; i <= kButtonCount; ++i) {
        const PanelButton& b = kPanelButtons[i];
        if (!b.label) continue;  // the info button is a circle
        const Bevel bevel = bevel_of(b.red, b.green, b.blue);
        std::fprintf(file,
                     "button %" PRId32 " %08" PRIx32 " %08" PRIx32 " %08" PRIx32 " %08" PRIx32 " %08" PRIx32
                     " %" PRId64 "\n",
                     i, opaque_rgb(b.red, b.green, b.blue), bevel.left, bevel.top, bevel.right, bevel.bottom,
                     label_offset(b.w, b.label));
    }

    // The position moves read and change only object_x and wall_x, the
    // height moves only object_h: every reachable position goes with every
    // reachable height.
    const std::vector<State> positions = reachable("rlnw");
    const std::vector<State> heights = reachable("gk+");

    std::fprintf(file,
                 "# object_x object_h wall_x box_top top slope yt bottom yb a(L-G) a(G-W) a(L-W) h(S) x1 x2 x3\n");
    Output out(file);
    int64_t count = 0;
    for (const State& p : positions) {
        for (const State& h : heights) {
            const Scene s = scene_of({std::get<0>(p), std::get<1>(p), std::get<2>(h)});
            const Rays r = rays_of(s);
            const Measurements m = measurements_of(s);
            out << s.object_x << ' ' << s.object_h << ' ' << s.wall_x << ' ' << r.box_top << ' ' << r.top << ' '
                << r.slope << ' ' << r.yt << ' ' << r.bottom << ' ' << r.yb << ' ' << m.lamp_object << ' '
                << m.object_wall << ' ' << m.lamp_wall << ' ' << m.shadow_h << ' ' << m.x1 << ' ' << m.x2 << ' '
                << m.x3 << '\n';
            ++count;
        }
    }
    const bool written = out.flush();
    std::fprintf(file, "states %" PRId64 " (%zu positions x %zu heights)\n", count, positions.size(),
                 heights.size());
    const bool closed = file == stdout ? std::fflush(file) == 0 : std::fclose(file) == 0;
    return written && closed ? 0 : 1;
}
