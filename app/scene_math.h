// The arithmetic behind the pictures: the glow's colours, the object's box
// and the rays, the measured values and their labels' places, and the
// panel buttons' shades and label offsets, computed from the scene without
// any drawing, so that a program without a screen computes exactly what
// the simulation draws. Conversions to integers go through Extended.
#pragma once

#include <cstdint>
#include <cstring>

#include "app/simulation.h"
#include "runtime/extended.h"

namespace lichtbox {

constexpr int32_t kGlyphW = 8;  // width of a text cell in pixels

inline uint32_t opaque_rgb(int64_t r, int64_t g, int64_t b) {
    return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// The glow: filled disks from the rim inwards, radius outer_radius down to 0
// in steps of 2, each a little brighter and more yellow.
struct Glow {
    int64_t outer_radius;
    double dr, dg, db;  // change of each channel per pixel of radius
};

inline Glow glow_of(const Scene& s) {
    return {round_half_even(Extended(s.glow_radius)), (150.0 - 255.0) / s.glow_radius,
            (150.0 - 255.0) / s.glow_radius, (150.0 - 50.0) / s.glow_radius};
}

// The colour of the disk of radius n.
inline uint32_t glow_color(const Glow& g, int64_t n) {
    const Extended ln(n);
    // Red stays one below green: the −1 is part of the gradient.
    return opaque_rgb(round_half_even(Extended(255.0) + Extended(g.dr) * ln - Extended(1.0)),
                      round_half_even(Extended(255.0) + Extended(g.dg) * ln),
                      round_half_even(Extended(50.0) + Extended(g.db) * ln));
}

// The object's box and the two rays from the lamp's height grazing its
// corners, to the wall.
struct Rays {
    double box_top;     // may end in .5; the box primitive rounds it away from zero
    int64_t top;        // the upper ray's start: the top rounded, ties to even
    double slope;       // of the upper ray, per pixel to the right
    int64_t yt;         // the upper ray's end on the wall
    int64_t bottom;     // the lower ray's start
    int64_t yb;         // the lower ray's end, yt mirrored at the optical axis
};

inline Rays rays_of(const Scene& s) {
    Rays r;
    r.box_top = s.lamp_y - s.object_h / 2.0;
    // Rounded ties to even, the rays' start can sit one row above the box's
    // edge for odd heights.
    r.top = round_half_even(Extended(s.lamp_y) - Extended(s.object_h) / Extended(2.0));
    r.slope = double(Extended(s.object_h) / Extended(s.object_x - s.lamp_x) / Extended(2.0));
    r.yt = round_half_even(Extended(r.top) - Extended(s.wall_x - s.object_x) * Extended(r.slope));
    r.bottom = r.top + s.object_h;
    r.yb = 2 * s.lamp_y - r.yt;
    return r;
}

// The measured values and where their labels start.
struct Measurements {
    int32_t lamp_object, object_wall, lamp_wall;  // the distances a(L-G), a(G-W), a(L-W)
    int64_t shadow_h;                             // h(S)
    double x1, x2, x3;  // the distance labels' left ends, in that order
};

inline Measurements measurements_of(const Scene& s) {
    Measurements m;
    m.lamp_object = s.object_x - s.lamp_x;
    m.object_wall = s.wall_x - s.object_x;
    m.lamp_wall = s.wall_x - s.lamp_x;
    // Shadow height by similar triangles; the quotient rounds ties to even.
    m.shadow_h = round_half_even(Extended(m.lamp_wall * s.object_h) / Extended(m.lamp_object));
    // Each distance label sits 50 pixels left of its span's midpoint.
    m.x1 = s.lamp_x + m.lamp_object / 2.0 - 50.0;
    m.x2 = s.object_x + m.object_wall / 2.0 - 50.0;
    m.x3 = s.lamp_x + m.lamp_wall / 2.0 - 50.0;
    return m;
}

// A button of the panel's row: its column and width, its face colour and
// its label (none for the info button, which is drawn as a circle).
struct PanelButton {
    int32_t x, w;
    int32_t red, green, blue;
    const char* label;
};

inline constexpr PanelButton kPanelButtons[kButtonCount + 1] = {
    {},
    {174, 20, 220, 220, 220, "<-"},      // object left
    {199, 20, 220, 220, 220, "->"},      // object right
    {224, 18, 220, 220, 220, ""},        // lower (ramp)
    {247, 18, 220, 220, 220, ""},        // higher (ramp)
    {280, 20, 220, 220, 220, "<-"},      // wall nearer
    {305, 20, 220, 220, 220, "->"},      // wall farther
    {340, 76, 50, 255, 50, "Neustart"},  // restart
    {150, 16, 0, 0, 0, nullptr},         // info (drawn as a circle)
};

// A bevel shade, per channel at 64-bit mantissa precision with ties to
// even: plain double arithmetic rounds 50 + 205 * 0.7 up to 194.
inline uint32_t bevel_shade(int32_t r, int32_t g, int32_t b, double f, bool lighten) {
    auto one = [&](int32_t c) -> uint32_t {
        const Extended v = lighten ? Extended(c) + Extended(255 - c) * Extended(f) : Extended(c) * Extended(f);
        return uint32_t(round_half_even(v));
    };
    return 0xFF000000u | one(r) << 16 | one(g) << 8 | one(b);
}

// The shades of a button's four sides.
struct Bevel {
    uint32_t left, top, right, bottom;
};

inline Bevel bevel_of(int32_t red, int32_t green, int32_t blue) {
    return {bevel_shade(red, green, blue, 0.4, true), bevel_shade(red, green, blue, 0.7, true),
            bevel_shade(red, green, blue, 0.7, false), bevel_shade(red, green, blue, 0.5, false)};
}

// Where a label starts in a button of width w: centred, the half pixel
// rounded to even.
inline int64_t label_offset(int32_t w, const char* label) {
    const auto n = int32_t(std::strlen(label));
    return round_half_even(Extended(w - kGlyphW * n) / Extended(2.0));
}

}  // namespace lichtbox
