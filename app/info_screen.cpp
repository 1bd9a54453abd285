// The info box: a short explanation of what the simulation shows, drawn
// straight onto the visible page over the current picture.
#include <cstdint>

#include "app/draw_calls.h"
#include "app/simulation.h"

namespace lichtbox {
namespace {

// Colours with alpha 0, written into the page as they are.
constexpr uint32_t kInfoBlue = 0x000000FFu;
constexpr uint32_t kInfoPaper = 0x00FFFFAAu;

struct InfoLine {
    int32_t y;
    const char* text;  // code page 437
};

// Subscripts are separate lines 5 pixels lower, padded so that their letters
// follow the symbol they belong to.
constexpr InfoLine kLines[] = {
    {150, "Die Simulation zeigt, wie die H\x94he eines "},
    {170, "Schattens h  von folgenden Gr\x94\xE1" "en abh\x84ngt:"},
    {175, "           S"},
    {210, "h     =  H\x94he des Gegenstandes"},
    {215, " G"},
    {230, "a     =  Abstand zwischen Lampe und Gegenstand"},
    {235, " L-G"},
    {250, "a     =  Abstand zwischen Lampe und Wand"},
    {255, " L-W"},
    {270, "a     =  Abstand zwischen Gegenstand und Wand"},
    {275, " G-W"},
    {315, "Erstellt vom Lichtbox-Team f\x81r den Unterricht"},
};

}  // namespace

void show_info_screen() {
    gfx_page_set(PAGE_SHOWN, PAGE_SHOWN);
    line_by(100, 100, 400, 240, kInfoBlue, kOutline);
    line_by(101, 101, 399, 238, kInfoPaper, kFilled);

    gfx_color(kInfoBlue, kInfoPaper, 0);
    gfx_locate(8, 29, kCursorUnchanged);
    print_line("LICHTWERKSTATT");
    for (const InfoLine& line : kLines) text_at_fg(120, float(line.y), line.text);

    // A key ends the pause early and stays queued for the main loop.
    gfx_sleep(1000);
}

}  // namespace lichtbox
