// The "GDI" and "DirectX" drivers in a real window under Wine (run through
// tests/x11/with_xserver.sh): the screen shows the visible page exactly,
// also when only a few rows changed, and messages sent to the window reach
// the key queue and the event queue.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "gfx/console/input_internal.h"
#include "gfx/drivers/win32/win32_window.h"
#include "gfx/gfx.h"

namespace {

bool wait_until(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        Sleep(5);
    }
    return done();
}

// Waits for a pass that shows rows after the count `shows` (read before
// the change), then for one more pass so the window system has the rows.
bool wait_shown(uint64_t shows) {
    if (!wait_until([&] { return gfx::win32::driver_stats().shows > shows; })) return false;
    const uint64_t passes = gfx::win32::driver_stats().passes;
    return wait_until([&] { return gfx::win32::driver_stats().passes > passes + 1; });
}

// The client area of hwnd as the screen shows it, 0x00RRGGBB per pixel.
std::vector<uint32_t> client_pixels(HWND hwnd, int w, int h) {
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
    std::vector<uint32_t> out(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + w * h);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    for (uint32_t& p : out) p &= 0xFFFFFF;
    return out;
}

// Page pixel (x, y) as 0x00RRGGBB.
uint32_t page_rgb(const GfxContext* ctx, int x, int y) {
    const uint8_t* row = ctx->framebuffer + y * ctx->pitch;
    if (ctx->bpp == 4) {
        uint32_t c;
        std::memcpy(&c, row + 4 * x, 4);
        return c & 0xFFFFFF;
    }
    if (ctx->bpp == 2) {
        uint16_t s;
        std::memcpy(&s, row + 2 * x, 2);
        return uint32_t((s >> 11) << 3) << 16 | uint32_t(((s >> 5) & 0x3F) << 2) << 8 | uint32_t((s & 0x1F) << 3);
    }
    const uint32_t e = ctx->device_palette[row[x]];  // 0x00BBGGRR
    return (e & 0xFF) << 16 | (e & 0xFF00) | ((e >> 16) & 0xFF);
}

// Pixels where the window differs from the page; 16-bit pages are compared
// in 5 bits a channel (a 16-bit bitmap is shown as 5-5-5).
int mismatches(HWND hwnd) {
    const GfxContext* ctx = gfx_context();
    const auto shown = client_pixels(hwnd, ctx->w, ctx->h);
    const uint32_t mask = ctx->bpp == 2 ? 0xF8F8F8 : 0xFFFFFF;
    int bad = 0;
    for (int y = 0; y < ctx->h; ++y)
        for (int x = 0; x < ctx->w; ++x) bad += (page_rgb(ctx, x, y) & mask) != (shown[std::size_t(y * ctx->w + x)] & mask);
    return bad;
}

// A 640 x 480 screen of the driver and depth.
class Win32DriverTest : public ::testing::TestWithParam<std::tuple<const char*, int>> {
protected:
    void SetUp() override {
        const char* driver = std::get<0>(GetParam());
        _putenv_s("ZRGFX", driver);
        ASSERT_EQ(gfx_screen_set(18, std::get<1>(GetParam()), 4, 0, 0), 0);
        ASSERT_STREQ(gfx_context()->driver->name, driver);
        ASSERT_TRUE(wait_until([&] { return (hwnd_ = gfx::win32::driver_stats().window) != nullptr; }));
        drain();
    }
    void TearDown() override { gfx_screen_set(0, 0, 0, 0, 0); }
    static void drain() {
        GfxEvent ev;
        while (gfx_take_event(&ev)) {
        }
        while (gfx_take_key() != 0) {
        }
    }
    // Fills rows [y0, y1) of the visible page with new pixels, marks them
    // and waits until they are shown.
    static void change_rows(int y0, int y1, unsigned seed) {
        GfxContext* ctx = gfx_context();
        std::mt19937 rng(seed);
        const uint64_t shows = gfx::win32::driver_stats().shows;
        gfx_lock();
        for (int y = y0; y < y1; ++y) {
            for (int i = 0; i < ctx->pitch; ++i) ctx->framebuffer[y * ctx->pitch + i] = uint8_t(rng());
            ctx->dirty[y] = 1;
        }
        gfx_unlock();
        ASSERT_TRUE(wait_shown(shows));
    }
    HWND hwnd_ = nullptr;
};

// The screen as read back lags the driver's blit under Wine (DirectDraw's
// blit reaches the X server later): the picture is awaited.
int settled_mismatches(HWND hwnd) {
    int bad = -1;
    wait_until([&] { return (bad = mismatches(hwnd)) == 0; });
    return bad;
}

TEST_P(Win32DriverTest, ShowsThePageAndThenOnlyItsChangedRows) {
    change_rows(0, gfx_context()->h, 1);
    EXPECT_EQ(settled_mismatches(hwnd_), 0);
    // Rows 10 and 400 change; the band between them is copied as it is.
    change_rows(10, 11, 2);
    change_rows(400, 401, 3);
    EXPECT_EQ(settled_mismatches(hwnd_), 0);
}

// Messages do not depend on the depth: 32-bit screens only.
class Win32DriverMessages : public Win32DriverTest {};

TEST_P(Win32DriverMessages, KeyAndCloseMessagesReachTheQueues) {
    // F1 with a repeat count of 2: its code twice, one key-down event with
    // the scancode and no character.
    PostMessageA(hwnd_, WM_KEYDOWN, VK_F1, 2 | (0x3B << 16));
    int32_t code = 0;
    ASSERT_TRUE(wait_until([&] { return (code = gfx_take_key()) != 0; }));
    EXPECT_EQ(code, 0x3BFF);
    EXPECT_EQ(gfx_take_key(), 0x3BFF);
    GfxEvent ev{};
    ASSERT_TRUE(wait_until([&] { return gfx_take_event(&ev) != 0; }));
    EXPECT_EQ(ev.kind, GFX_EVENT_KEY_DOWN);
    EXPECT_EQ(ev.field[0], 0x3B);
    EXPECT_EQ(ev.field[1], 0);

    // A character reaches the key queue as many times as its repeat count.
    PostMessageA(hwnd_, WM_CHAR, 'r', 3);
    ASSERT_TRUE(wait_until([&] { return (code = gfx_take_key()) != 0; }));
    EXPECT_EQ(code, 'r');
    EXPECT_EQ(gfx_take_key(), 'r');
    EXPECT_EQ(gfx_take_key(), 'r');
    drain();

    // The close button: the close code and a close request; the window stays.
    PostMessageA(hwnd_, WM_CLOSE, 0, 0);
    ASSERT_TRUE(wait_until([&] { return (code = gfx_take_key()) != 0; }));
    EXPECT_EQ(code, 0x6BFF);
    ASSERT_TRUE(wait_until([&] { return gfx_take_event(&ev) != 0; }));
    EXPECT_EQ(ev.kind, GFX_EVENT_CLOSE_REQUEST);
    EXPECT_TRUE(IsWindow(hwnd_));
}

auto test_name = [](const auto& info) {
    return std::string(std::get<0>(info.param)) + std::to_string(std::get<1>(info.param));
};
INSTANTIATE_TEST_SUITE_P(Drivers, Win32DriverTest,
                         ::testing::Combine(::testing::Values("GDI", "DirectX"), ::testing::Values(8, 16, 32)),
                         test_name);
INSTANTIATE_TEST_SUITE_P(Drivers, Win32DriverMessages,
                         ::testing::Combine(::testing::Values("GDI", "DirectX"), ::testing::Values(32)), test_name);

// "OpenGL" refuses a screen without the opengl flag, even when named: the
// set-up goes on with the other drivers in their order.
TEST(Win32Drivers, OpenGLRefusesPlainScreens) {
    _putenv_s("ZRGFX", "OpenGL");
    ASSERT_EQ(gfx_screen_set(18, 32, 4, 0, 0), 0);
    EXPECT_STREQ(gfx_context()->driver->name, "DirectX");
    gfx_screen_set(0, 0, 0, 0, 0);
}

}  // namespace
