#include "child_process.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "runtime/runtime.h"
#include "runtime/tty_console.h"

namespace lichtbox::test {
namespace {

std::string read_all(int fd) {
    std::string out;
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // end of file, or EIO once the terminal's last user left
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

void write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("write failed");
        done += static_cast<size_t>(n);
    }
}

int g_ready_fd = -1;

}  // namespace

void signal_ready() {
    if (g_ready_fd < 0) return;
    write_all(g_ready_fd, "r");
    ::close(g_ready_fd);
    g_ready_fd = -1;
}

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

ChildResult run_child(const ChildOptions& options, const std::function<std::string()>& body) {
    ChildResult result;
    const bool need_terminal = options.stdin_terminal || options.stdout_terminal;
    int master = -1;
    int slave = -1;
    if (need_terminal) {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        if (slave < 0) throw std::runtime_error("cannot open the terminal");
        termios mode{};
        ::tcgetattr(slave, &mode);
        mode.c_lflag |= ICANON;
        if (options.echo)
            mode.c_lflag |= ECHO;
        else
            mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);  // output bytes as written
        ::tcsetattr(slave, TCSANOW, &mode);
        ::tcgetattr(slave, &result.mode_before);
    }
    int in_pipe[2] = {-1, -1};
    if (!options.stdin_terminal) {
        if (::pipe(in_pipe) != 0) throw std::runtime_error("pipe");
        write_all(in_pipe[1], options.input);
        ::close(in_pipe[1]);
    } else if (!options.input.empty()) {
        write_all(master, options.input);
    }
    int out_pipe[2] = {-1, -1};
    if (!options.stdout_terminal && ::pipe(out_pipe) != 0) throw std::runtime_error("pipe");
    int report_pipe[2];
    if (::pipe(report_pipe) != 0) throw std::runtime_error("pipe");
    int ready_pipe[2];
    if (::pipe(ready_pipe) != 0) throw std::runtime_error("pipe");

    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        ::dup2(options.stdin_terminal ? slave : in_pipe[0], STDIN_FILENO);
        ::dup2(options.stdout_terminal ? slave : out_pipe[1], STDOUT_FILENO);
        for (int fd : {master, slave, in_pipe[0], out_pipe[0], out_pipe[1], report_pipe[0],
                       ready_pipe[0]})
            if (fd >= 0) ::close(fd);
        g_ready_fd = ready_pipe[1];
        // Start from the console's first state, whatever the parent did.
        rt_hooks_install(nullptr);
        rt_set_text_view(-1, -1);
        rt_set_print_column(0);
        rt_set_error(0);
        lichtbox::tty::reset();
        std::string report;
        try {
            report = body();
        } catch (...) {
            report = "exception";
        }
        write_all(report_pipe[1], report);
        ::_exit(0);
    }

    ::close(report_pipe[1]);
    ::close(ready_pipe[1]);
    if (!options.late_input.empty()) {
        char ready = 0;
        while (::read(ready_pipe[0], &ready, 1) < 0 && errno == EINTR) {
        }
        write_all(master, options.late_input);
    }
    ::close(ready_pipe[0]);
    if (in_pipe[0] >= 0) ::close(in_pipe[0]);
    if (out_pipe[1] >= 0) ::close(out_pipe[1]);
    if (slave >= 0 && !options.keep_terminal) ::close(slave);

    result.report = read_all(report_pipe[0]);
    ::close(report_pipe[0]);
    if (!options.stdout_terminal) {
        result.output = read_all(out_pipe[0]);
        ::close(out_pipe[0]);
    } else if (!options.keep_terminal) {
        result.output = read_all(master);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (options.keep_terminal) {
        ::tcgetattr(slave, &result.mode_after);
        ::close(slave);
    }
    if (master >= 0) ::close(master);
    return result;
}

}  // namespace lichtbox::test
