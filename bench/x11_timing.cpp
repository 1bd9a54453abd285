// End-to-end timings of the real program under an X server with a window
// manager (scripts/bench runs it under Xvfb and openbox):
//   x11_timing LICHTBOX START_PPM [XLIB_PEER [SDL2_PEER]]
// Without peers only the key latency and the idle CPU are measured (LICHTBOX
// may then be any launcher, e.g. a script that runs lichtbox.exe under
// Wine).
// - start-up: from starting a program to the screen update after which its
//   window shows START_PPM exactly (lichtbox's start picture, as the program
//   computes it without a window; the peers are started with START_PPM as
//   their argument and show the same picture): lichtbox, the minimal Xlib
//   program and the SDL2 program in turn, 11 runs each; medians, every run
//   and the ratios of lichtbox to each peer (goal beside the Xlib program: at
//   most 1.5). A run whose window does not show the picture within 10 s
//   counts as failed and stays out of the median;
// - key latency: from a key press "r" sent to the window (XTEST, as
//   "xdotool key r") to the screen update that shows the moved object, over
//   100 presses: median, 95th percentile, maximum (goal: 95th percentile
//   under 35 ms, stretch 20 ms);
// - idle CPU of lichtbox with its window over 5 seconds (goal: under 2 %).
// Screen updates are seen through the DAMAGE extension on the root window.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
Display* g_d = nullptr;
int g_damage_event = 0;

double ms_since(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Windows of the measured programs go away under our feet (BadWindow), and
// XGetImage of a window that is not viewable yet fails (BadMatch): the calls
// report failure through their results, so errors are not fatal here.
int ignore_error(Display*, XErrorEvent*) { return 0; }

pid_t spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void stop(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// The newest client window of process pid among the window manager's
// clients (the list runs from the oldest): a program may replace its first
// window, as SDL2 does when its window surface goes through OpenGL.
Window window_of(pid_t pid) {
    const Atom list = XInternAtom(g_d, "_NET_CLIENT_LIST", False), wm_pid = XInternAtom(g_d, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    Window found = 0;
    if (XGetWindowProperty(g_d, DefaultRootWindow(g_d), list, 0, 1024, False, XA_WINDOW, &type, &format, &n, &after,
                           &data) == Success && data) {
        for (unsigned long i = n; i > 0 && !found; --i) {
            const Window w = reinterpret_cast<Window*>(data)[i - 1];
            unsigned char* p = nullptr;
            unsigned long pn = 0;
            if (XGetWindowProperty(g_d, w, wm_pid, 0, 1, False, XA_CARDINAL, &type, &format, &pn, &after, &p) ==
                    Success && p) {
                if (pn == 1 && pid_t(*reinterpret_cast<long*>(p)) == pid) found = w;
                XFree(p);
            }
        }
        XFree(data);
    }
    return found;
}

// The client area on the root window of a window that can be seen.
bool area_of(Window w, XRectangle* r) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(g_d, w, &a) || a.map_state != IsViewable) return false;
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(g_d, w, DefaultRootWindow(g_d), 0, 0, &x, &y, &child);
    *r = XRectangle{short(x), short(y), (unsigned short)a.width, (unsigned short)a.height};
    return true;
}

bool overlaps(const XRectangle& a, const XRectangle& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

// Waits at most timeout_ms for a damage event overlapping `area`; its
// arrival time, or nothing.
bool next_damage(const XRectangle& area, int timeout_ms, Clock::time_point* when) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Clock::now() < end) {
        while (XPending(g_d)) {
            XEvent ev;
            XNextEvent(g_d, &ev);
            if (ev.type != g_damage_event + XDamageNotify) continue;
            const auto& dn = reinterpret_cast<XDamageNotifyEvent&>(ev);
            if (overlaps(dn.area, area)) {
                *when = Clock::now();
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

void drain_damage() {
    XSync(g_d, False);
    while (XPending(g_d)) {
        XEvent ev;
        XNextEvent(g_d, &ev);
    }
}

// The P6 picture as 0xRRGGBB values.
std::vector<uint32_t> read_ppm(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, max = 0;
    f >> magic >> w >> h >> max;
    f.get();
    std::vector<uint32_t> out(std::size_t(w * h));
    for (auto& v : out) {
        unsigned char rgb[3];
        f.read(reinterpret_cast<char*>(rgb), 3);
        v = uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
    }
    return f ? out : std::vector<uint32_t>{};
}

bool shows(Window w, const std::vector<uint32_t>& picture) {
    XImage* img = XGetImage(g_d, w, 0, 0, 640, 480, AllPlanes, ZPixmap);
    if (!img) return false;
    bool same = true;
    for (int y = 0; y < 480 && same; ++y)
        for (int x = 0; x < 640 && same; ++x) same = (XGetPixel(img, x, y) & 0xFFFFFF) == picture[std::size_t(y * 640 + x)];
    XDestroyImage(img);
    return same;
}

// The DAMAGE updates on the root window, collected on a connection of their
// own by a thread that waits for them, so that each is stamped as soon as it
// arrives, also while the main thread waits for an XGetImage reply. The
// compares that judge an update are requests on the same connection: an
// event's serial is that of the last of its requests the server had handled
// when it sent the event, which places each update before or after a
// compare. (Only requests that cannot fail go out on this connection: Xlib
// breaks the connection on an error reply while another thread waits in
// XNextEvent.)
class UpdateLog {
public:
    struct Update {
        Clock::time_point when;
        unsigned long serial;
        XRectangle area;
    };

    UpdateLog() : d_(XOpenDisplay(nullptr)) {
        int event_base = 0, error_base = 0;
        if (!d_ || !XDamageQueryExtension(d_, &event_base, &error_base)) return;
        XDamageCreate(d_, DefaultRootWindow(d_), XDamageReportRawRectangles);
        wake_ = XCreateWindow(d_, DefaultRootWindow(d_), 0, 0, 1, 1, 0, 0, InputOnly, CopyFromParent, 0, nullptr);
        mark_ = XInternAtom(d_, "X11_TIMING_MARK", False);
        XSync(d_, False);
        thread_ = std::thread([this] { collect(); });
    }
    ~UpdateLog() {
        if (!thread_.joinable()) {
            if (d_) XCloseDisplay(d_);
            return;
        }
        send_mark(-1);
        thread_.join();
        XCloseDisplay(d_);
    }
    bool ok() const { return thread_.joinable(); }

    // Forgets the updates so far.
    void clear() {
        std::lock_guard<std::mutex> lock(m_);
        updates_.clear();
    }

    std::size_t count() {
        std::lock_guard<std::mutex> lock(m_);
        return updates_.size();
    }

    std::vector<Update> updates() {
        std::lock_guard<std::mutex> lock(m_);
        return updates_;
    }

    // Whether an update from index `from` on overlaps `area`; *count is set to
    // the number of updates so far.
    bool overlap_since(std::size_t from, const XRectangle& area, std::size_t* count);

    // Waits at most `timeout` for more than n updates.
    void wait_for_more(std::size_t n, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, timeout, [&] { return updates_.size() > n; });
    }

    // Whether the screen shows `picture` (640 x 480) at the area's corner,
    // read from the root window; *serial is the compare's request, and once
    // it returns every update sent before the compare is in the log. When it
    // does not, *wrong marks the pixels that differ.
    bool shows(const XRectangle& area, const std::vector<uint32_t>& picture, unsigned long* serial,
               std::vector<char>* wrong);

private:
    void send_mark(long k) {
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = wake_;
        ev.xclient.message_type = mark_;
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = k;
        // An empty event mask sends it to the window's creator: this connection.
        XSendEvent(d_, wake_, False, 0, &ev);
        XFlush(d_);
    }

    // Returns once the marker sent now has come back, after every event the
    // server sent before it.
    void sync() {
        long k;
        {
            std::lock_guard<std::mutex> lock(m_);
            k = ++marks_sent_;
        }
        send_mark(k);
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [&] { return marks_seen_ >= k; });
    }

    void collect() {
        for (;;) {
            XEvent ev;
            XNextEvent(d_, &ev);
            const auto now = Clock::now();
            if (ev.type == g_damage_event + XDamageNotify) {
                const auto& dn = reinterpret_cast<XDamageNotifyEvent&>(ev);
                std::lock_guard<std::mutex> lock(m_);
                updates_.push_back({now, dn.serial, dn.area});
            } else if (ev.type == ClientMessage && ev.xclient.window == wake_ && ev.xclient.message_type == mark_) {
                if (ev.xclient.data.l[0] < 0) return;
                std::lock_guard<std::mutex> lock(m_);
                marks_seen_ = ev.xclient.data.l[0];
            } else {
                continue;
            }
            cv_.notify_all();
        }
    }

    Display* d_;
    Window wake_ = 0;
    Atom mark_ = 0;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Update> updates_;
    long marks_sent_ = 0, marks_seen_ = 0;
};

bool UpdateLog::shows(const XRectangle& area, const std::vector<uint32_t>& picture, unsigned long* serial,
                      std::vector<char>* wrong) {
    // Only an area inside the screen can be read without an error.
    const int sw = DisplayWidth(d_, DefaultScreen(d_)), sh = DisplayHeight(d_, DefaultScreen(d_));
    if (area.x < 0 || area.y < 0 || area.x + 640 > sw || area.y + 480 > sh) return false;
    *serial = NextRequest(d_);
    XImage* img = XGetImage(d_, DefaultRootWindow(d_), area.x, area.y, 640, 480, AllPlanes, ZPixmap);
    sync();
    if (!img) return false;
    // 32-bit pixels in the host's byte order are read directly (the next
    // compare waits for this one); others through XGetPixel.
    const int host_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
    const bool direct = img->bits_per_pixel == 32 && img->byte_order == host_order;
    auto pixel = [&](int x, int y) -> uint32_t {
        if (direct) {
            uint32_t v;
            std::memcpy(&v, img->data + std::size_t(y) * std::size_t(img->bytes_per_line) + std::size_t(x) * 4, 4);
            return v & 0xFFFFFF;
        }
        return uint32_t(XGetPixel(img, x, y) & 0xFFFFFF);
    };
    std::size_t differ = 0;
    wrong->assign(picture.size(), 0);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const std::size_t i = std::size_t(y * 640 + x);
            if (pixel(x, y) != picture[i]) {
                (*wrong)[i] = 1;
                ++differ;
            }
        }
    XDestroyImage(img);
    if (!differ) wrong->clear();
    return !differ;
}

bool UpdateLog::overlap_since(std::size_t from, const XRectangle& area, std::size_t* count) {
    std::lock_guard<std::mutex> lock(m_);
    *count = updates_.size();
    for (std::size_t i = from; i < updates_.size(); ++i)
        if (overlaps(updates_[i].area, area)) return true;
    return false;
}

// Waits at most `limit` until no update has come for `quiet`: the screen
// has settled after the previous program's window went away.
void settle(UpdateLog& log, std::chrono::milliseconds quiet, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    std::size_t n = log.count();
    while (Clock::now() < end) {
        log.wait_for_more(n, quiet);
        const std::size_t m = log.count();
        if (m == n) return;
        n = m;
    }
}

struct Program {
    std::string name;
    std::vector<std::string> args;
};

struct StartUp {
    bool done = false;
    double ms = 0;           // from fork to the update that completed the picture
    double earliest_ms = 0;  // the earliest the picture can have been complete
    int updates = 0;         // updates of the window up to the one that completed it
    std::string failure;     // why the run failed
};

// Updates that come between two compares cannot be told apart: the picture
// is taken as complete after the last of them, which also counts a second
// drawing of the same picture when the compare comes late. A lower bound
// beside it: the picture cannot be complete before the updates since the last
// failed compare have covered every pixel that compare found wrong (without
// a failed compare, every pixel of the window since the start).
double earliest(const std::vector<UpdateLog::Update>& updates, const XRectangle& area, std::vector<char> wrong,
                unsigned long wrong_serial, unsigned long serial, Clock::time_point t0, double fallback) {
    if (wrong.empty()) {
        wrong.assign(640u * 480u, 1);
        wrong_serial = 0;
    }
    std::size_t left = std::size_t(std::count(wrong.begin(), wrong.end(), 1));
    for (const UpdateLog::Update& u : updates) {
        if (u.serial < wrong_serial || u.serial >= serial) continue;
        const int x0 = std::max(0, u.area.x - area.x), x1 = std::min(640, u.area.x + u.area.width - area.x);
        const int y0 = std::max(0, u.area.y - area.y), y1 = std::min(480, u.area.y + u.area.height - area.y);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                char& p = wrong[std::size_t(y * 640 + x)];
                left -= std::size_t(p);
                p = 0;
            }
        if (left == 0) return std::chrono::duration<double, std::milli>(u.when - t0).count();
    }
    return fallback;
}

// One start of `program`: the time from fork to the screen update after
// which its window shows `picture`. Each update of the window leads to a
// compare (XGetImage of its area on the screen); once one matches, the last
// update of the window that came before the compare completed the picture.
// Then the program is killed and its window awaited gone.
StartUp start_up(UpdateLog& log, const Program& program, const std::vector<uint32_t>& picture) {
    StartUp r;
    log.clear();
    const auto t0 = Clock::now();
    const pid_t pid = spawn(program.args);
    Window w = 0;
    auto looked_up = t0;
    std::size_t seen = 0;
    bool pending = false, exited = false;
    std::vector<char> wrong;  // the pixels that differed at the last failed compare
    unsigned long wrong_serial = 0;
    XRectangle wrong_area{};
    while (ms_since(t0) < 10000) {
        log.wait_for_more(seen, std::chrono::milliseconds(5));
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            exited = true;
            r.failure = "ended before showing the picture";
            break;
        }
        // Looked up again while the window cannot be seen, and now and then
        // in case a newer one came; a new window has all updates judged anew.
        XRectangle area{};
        if (!w || ms_since(looked_up) > 20 || !area_of(w, &area)) {
            looked_up = Clock::now();
            const Window now = window_of(pid);
            if (now != w) {
                w = now;
                seen = 0;
                pending = false;
                wrong.clear();
            }
            if (!w || !area_of(w, &area)) continue;
        }
        if (log.overlap_since(seen, area, &seen)) pending = true;
        if (!pending) continue;
        pending = false;
        unsigned long serial = 0;
        std::vector<char> now_wrong;
        if (!log.shows(area, picture, &serial, &now_wrong)) {
            if (!now_wrong.empty()) {
                wrong.swap(now_wrong);
                wrong_serial = serial;
                wrong_area = area;
            }
            continue;
        }
        if (wrong_area.x != area.x || wrong_area.y != area.y) wrong.clear();  // the window moved
        const Clock::time_point* last = nullptr;
        const std::vector<UpdateLog::Update> updates = log.updates();
        for (const UpdateLog::Update& u : updates)
            if (u.serial < serial && overlaps(u.area, area)) {
                last = &u.when;
                ++r.updates;
            }
        if (last) {
            r.done = true;
            r.ms = std::chrono::duration<double, std::milli>(*last - t0).count();
            r.earliest_ms = earliest(updates, area, wrong, wrong_serial, serial, t0, r.ms);
            break;
        }
    }
    if (!r.done && r.failure.empty()) r.failure = w ? "picture not shown within 10 s" : "no window within 10 s";
    if (!exited) stop(pid);
    // The window is gone once the server has noticed the closed connection.
    XWindowAttributes a;
    for (int i = 0; w && i < 200 && XGetWindowAttributes(g_d, w, &a); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    settle(log, std::chrono::milliseconds(150), std::chrono::milliseconds(2000));
    return r;
}

// Median of the finished runs (mean of the middle two for an even count).
double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

long cpu_ticks(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(f, line);
    const std::size_t close = line.rfind(')');
    std::vector<std::string> fields;
    std::string field;
    for (std::size_t i = close + 2; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += line[i];
        }
    }
    // utime and stime are fields 14 and 15 of the line, 12 and 13 here.
    return fields.size() > 13 ? std::stol(fields[11]) + std::stol(fields[12]) : -1;
}

}  // namespace

// Start-up, the programs in turn; each round begins with the next one. The
// number of failed runs.
int measure_start_up(int argc, char** argv, const std::vector<uint32_t>& start_picture) {
    std::vector<Program> programs{{"lichtbox", {argv[1]}}, {"minimal Xlib", {argv[3], argv[2]}}};
    if (argc == 5) programs.push_back({"SDL2", {argv[4], argv[2]}});
    const int runs = 11;
    std::vector<std::vector<StartUp>> results(programs.size());
    {
        UpdateLog log;
        if (!log.ok()) {
            std::fprintf(stderr, "x11_timing: cannot open a second connection to the display\n");
            return runs;
        }
        settle(log, std::chrono::milliseconds(150), std::chrono::milliseconds(2000));
        for (int run = 0; run < runs; ++run)
            for (std::size_t i = 0; i < programs.size(); ++i) {
                const std::size_t p = (std::size_t(run) + i) % programs.size();
                results[p].push_back(start_up(log, programs[p], start_picture));
            }
    }
    std::printf("start-up: from starting the program to the screen update after which its window shows the start "
                "picture (%d runs each, in turn; \"at the earliest\": before that, not every pixel found wrong "
                "had been drawn again)\n", runs);
    std::vector<double> medians;
    int failed = 0;
    for (std::size_t p = 0; p < programs.size(); ++p) {
        std::vector<double> done, earliest;
        std::string times, updates;
        for (const StartUp& r : results[p]) {
            char buf[64];
            std::snprintf(buf, sizeof buf, r.done ? " %.1f" : " failed", r.ms);
            times += buf;
            std::snprintf(buf, sizeof buf, " %d", r.updates);
            updates += r.done ? buf : " -";
            if (r.done) {
                done.push_back(r.ms);
                earliest.push_back(r.earliest_ms);
            } else {
                ++failed;
            }
        }
        medians.push_back(done.empty() ? 0 : median(done));
        std::printf("  %-13s median %7.1f ms (at the earliest %.1f ms)", programs[p].name.c_str(), medians.back(),
                    earliest.empty() ? 0 : median(earliest));
        if (done.size() < results[p].size())
            std::printf(" (%zu of %d runs failed)", results[p].size() - done.size(), runs);
        std::printf("\n    runs (ms):%s\n    window updates up to the picture:%s\n", times.c_str(), updates.c_str());
        for (std::size_t i = 0; i < results[p].size(); ++i)
            if (!results[p][i].done)
                std::printf("    run %zu failed: %s\n", i + 1, results[p][i].failure.c_str());
    }
    for (std::size_t p = 1; p < programs.size(); ++p) {
        std::printf("  ratio lichtbox / %s: ", programs[p].name.c_str());
        if (medians[0] > 0 && medians[p] > 0)
            std::printf("%.2f", medians[0] / medians[p]);
        else
            std::printf("n/a");
        std::printf(p == 1 ? " (goal: at most 1.5)\n" : "\n");
    }

    return failed;
}

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr, "usage: x11_timing LICHTBOX START_PPM [XLIB_PEER [SDL2_PEER]]\n");
        return 2;
    }
    // SDL2 on the X server measured here, whatever else the environment names.
    setenv("SDL_VIDEODRIVER", "x11", 1);
    XInitThreads();
    XSetErrorHandler(ignore_error);
    g_d = XOpenDisplay(nullptr);
    int error_base = 0, major = 0, minor = 0, ev = 0, err = 0;
    if (!g_d || !XDamageQueryExtension(g_d, &g_damage_event, &error_base) ||
        !XTestQueryExtension(g_d, &ev, &err, &major, &minor)) {
        std::fprintf(stderr, "x11_timing: needs an X server with DAMAGE and XTEST\n");
        return 1;
    }
    const std::vector<uint32_t> start_picture = read_ppm(argv[2]);
    if (start_picture.size() != 640u * 480u) {
        std::fprintf(stderr, "x11_timing: cannot read %s\n", argv[2]);
        return 1;
    }

    int failed = 0;
    if (argc >= 4) failed = measure_start_up(argc, argv, start_picture);

    // Key latency and idle CPU on one running lichtbox; its updates come on
    // the main connection from here on.
    XDamageCreate(g_d, DefaultRootWindow(g_d), XDamageReportRawRectangles);
    const pid_t pid = spawn({argv[1]});
    Window w = 0;
    const auto t0 = Clock::now();
    // A first start under Wine takes seconds.
    while (!(w = window_of(pid)) && ms_since(t0) < 60000) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    while (w && !shows(w, start_picture) && ms_since(t0) < 60000)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    XRectangle area{};
    if (!w || !area_of(w, &area)) {
        std::fprintf(stderr, "x11_timing: lichtbox did not show its window\n");
        stop(pid);
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long ticks0 = cpu_ticks(pid);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const long ticks1 = cpu_ticks(pid);
    const double idle = double(ticks1 - ticks0) / double(sysconf(_SC_CLK_TCK)) / 5.0 * 100.0;
    std::printf("idle CPU of lichtbox over 5 s: %.2f %% of one core (goal: under 2 %%)\n", idle);

    const KeyCode r = XKeysymToKeycode(g_d, XK_r);
    std::vector<double> latency;
    int missed = 0;
    for (int i = 0; i < 100; ++i) {
        drain_damage();
        XTestFakeKeyEvent(g_d, r, True, CurrentTime);
        XTestFakeKeyEvent(g_d, r, False, CurrentTime);
        XFlush(g_d);
        const auto sent = Clock::now();
        Clock::time_point shown;
        if (next_damage(area, 1000, &shown))
            latency.push_back(std::chrono::duration<double, std::milli>(shown - sent).count());
        else
            ++missed;
        // The next press comes at another point of the loops' 10 ms cycles.
        std::this_thread::sleep_for(std::chrono::microseconds(40000 + 1700 * (i % 7)));
    }
    std::sort(latency.begin(), latency.end());
    if (!latency.empty())
        std::printf("key \"r\" to the shown picture over %zu presses: median %.1f ms, 95th percentile %.1f ms, "
                    "max %.1f ms (goal: 95th percentile under 35 ms, stretch 20 ms); %d without an update\n",
                    latency.size(), latency[latency.size() / 2], latency[latency.size() * 95 / 100],
                    latency.back(), missed);
    stop(pid);
    XCloseDisplay(g_d);
    return failed ? 1 : 0;
}
