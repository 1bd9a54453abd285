// The signal another thread raises to wake the driver thread between its
// passes: a pipe whose read end the driver thread polls beside its window
// system's connection (POSIX), or an event object it waits for beside its
// message queue (Win32).
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace gfx::window {

class WakeSignal {
public:
#if defined(_WIN32)
    // Auto-reset: a wait that sees it raised also clears it.
    WakeSignal() : event_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~WakeSignal() {
        if (event_) CloseHandle(event_);
    }
    // The event to wait for; null when it could not be made.
    HANDLE handle() const { return event_; }
    void raise() const {
        if (event_) SetEvent(event_);
    }
    void clear() const {
        if (event_) ResetEvent(event_);
    }
#else
    WakeSignal() {
        if (::pipe(fds_) != 0) {
            fds_[0] = fds_[1] = -1;
            return;
        }
        for (int fd : fds_) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    ~WakeSignal() {
        for (int fd : fds_)
            if (fd >= 0) ::close(fd);
    }
    // The end to poll for reading; -1 when the pipe could not be made.
    int read_end() const { return fds_[0]; }
    // Any thread: wakes the waiter (a full pipe already will).
    void raise() const {
        const char b = 1;
        if (fds_[1] >= 0) [[maybe_unused]] auto n = ::write(fds_[1], &b, 1);
    }
    // The waiter: empties the pipe.
    void clear() const {
        char buf[64];
        while (fds_[0] >= 0 && ::read(fds_[0], buf, sizeof buf) > 0) {
        }
    }
#endif
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

private:
#if defined(_WIN32)
    HANDLE event_;
#else
    int fds_[2];
#endif
};

}  // namespace gfx::window
