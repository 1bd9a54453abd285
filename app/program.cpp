// Program start and the main loop: keys and panel clicks change the scene
// within fixed limits, and every change is drawn again.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/draw_calls.h"
#include "app/simulation.h"

namespace lichtbox {

Scene scene;

namespace {

const std::string kCloseKey = "\xFF" "k";  // the window's close button
const std::string kButtonKey = "1";       // what a changing panel click counts as

std::string take_key() {
    RuntimeString* text = gfx_inkey();
    std::string key;
    if (text && text->data) key.assign(text->data, std::size_t(rt_str_len(text)));
    rt_str_release_temp(text);
    return key;
}

// The key table: at most one entry matches; a failing guard changes nothing.
void apply_key(const std::string& key) {
    Scene& s = scene;
    if (key == "r") {
        if (s.object_x < s.wall_x - 2 * s.wall_t) s.object_x += 2;
    } else if (key == "l") {
        if (s.object_x > s.lamp_x + 20) s.object_x -= 2;
    } else if (key == "n") {
        if (s.wall_x > s.object_x + 2 * s.object_w) s.wall_x -= 2;
    } else if (key == "w") {
        if (s.wall_x < 640 - s.wall_t) s.wall_x += 2;
    } else if (key == "g") {
        if (s.object_h < 200) s.object_h += 2;
    } else if (key == "k") {
        if (s.object_h > 0) s.object_h -= 1;
    }
}

// Applies a button's action when its guard holds; true when the scene changed.
bool press_button(int32_t button) {
    Scene& s = scene;
    switch (button) {
        case 1: if (s.object_x > s.lamp_x + 20) { s.object_x -= 2; return true; } break;
        case 2: if (s.object_x < s.wall_x - 2 * s.wall_t) { s.object_x += 2; return true; } break;
        case 3: if (s.object_h > 0) { s.object_h -= 1; return true; } break;
        case 4: if (s.object_h < 160) { s.object_h += 1; return true; } break;
        case 5: if (s.wall_x > s.object_x + 2 * s.object_w) { s.wall_x -= 2; return true; } break;
        case 6: if (s.wall_x < 640 - s.wall_t) { s.wall_x += 2; return true; } break;
        case 7: restart_scene(); return true;
        case 8: show_info_screen(); break;
    }
    return false;
}

// A left click: the labels are drawn again (which also takes an info box
// off the screen), then the button under the pointer acts. Both the row and
// the button tests are strict, so the edges hit nothing.
void left_click(int32_t x, int32_t y, std::string& key) {
    draw_measurements();
    const Scene& s = scene;
    if (s.button_row_y < y && y < s.button_row_y + kButtonHitH) {
        for (int32_t b = 1; b <= kButtonCount; ++b) {
            if (s.button_x[b] < x && x < s.button_x[b] + s.button_w[b]) {
                if (press_button(b)) key = kButtonKey;
                break;
            }
        }
    }
    gfx_sleep(50);
}

void report_no_screen() {
    const char* driver = std::getenv("ZRGFX");
    if (driver && *driver)
        std::fprintf(stderr,
                     "lichtbox: cannot open the 640 x 480 graphics window with display driver \"%s\";"
                     " ZRGFX=null runs without a window\n",
                     driver);
    else
        std::fprintf(stderr,
                     "lichtbox: cannot open the 640 x 480 graphics window: no display driver could"
                     " start; ZRGFX=null runs without a window\n");
}

// The command line: no arguments run the simulation; --version and --help
// answer and end; anything else is an error (status 2).
void handle_arguments(int argc, char** argv) {
    const std::string arg = argv[1];
    if (argc == 2 && arg == "--version") {
        std::printf("lichtbox %s\n", LICHTBOX_VERSION);
        std::exit(0);
    }
    if (argc == 2 && arg == "--help") {
        std::printf("lichtbox: classroom simulation of the shadow an object casts on a wall in the light of a point lamp.\n"
                    "Keys: r/l object right/left, w/n wall farther/nearer, g/k object taller/smaller, e end; "
                    "the panel's buttons work with the mouse.\n");
        std::exit(0);
    }
    // The first argument that is not a lone --version or --help.
    const char* unknown = argc > 2 && (arg == "--version" || arg == "--help") ? argv[2] : argv[1];
    std::fprintf(stderr, "lichtbox: unknown argument \"%s\" (lichtbox --help tells what it takes)\n", unknown);
    std::exit(2);
}

}  // namespace

void restart_scene() {
    scene.object_x = 220;
    scene.object_h = 80;
    scene.wall_x = 620;
    scene.wall_h = 480;
    scene.wall_t = 20;
}

void show_start_picture() {
    scene = Scene{};
    draw_background();
    draw_scene();
    draw_measurements();
}

void main_loop() {
    gfx_sleep(10);
    for (;;) {
        std::string key = take_key();
        if (key == kCloseKey) rt_end(0);
        apply_key(key);

        int32_t x, y, wheel, buttons, clip;
        gfx_get_mouse(&x, &y, &wheel, &buttons, &clip);
        if (buttons == 1) left_click(x, y, key);  // the left button alone

        if (!key.empty()) {
            draw_scene();
            draw_measurements();
            draw_panel();
            gfx_page_copy(PAGE_COMPOSE, PAGE_SHOWN);
        }
        gfx_sleep(10);
        if (key == "e") return;
    }
}

int program_main(int argc, char** argv) {
    if (argc > 1) handle_arguments(argc, argv);
    rt_init();
    if (gfx_screen_set(18, 32, 4, 0, 0) != 0) {
        // Without a screen every later call would do nothing and the
        // program would wait, invisibly, for keys that never come.
        report_no_screen();
        rt_end(1);
    }
    show_start_picture();
    main_loop();
    rt_end(0);
    return 0;
}

}  // namespace lichtbox
