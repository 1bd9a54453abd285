// A pipe that another thread writes to wake a thread waiting in poll():
// the driver thread waits on its X connection and on this at once.
#pragma once

#include <fcntl.h>
#include <unistd.h>

namespace gfx::x11 {

class WakePipe {
public:
    WakePipe() {
        if (::pipe(fds_) != 0) {
            fds_[0] = fds_[1] = -1;
            return;
        }
        for (int fd : fds_) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    ~WakePipe() {
        for (int fd : fds_)
            if (fd >= 0) ::close(fd);
    }
    WakePipe(const WakePipe&) = delete;
    WakePipe& operator=(const WakePipe&) = delete;

    // The end to poll for reading; -1 when the pipe could not be made.
    int read_end() const { return fds_[0]; }
    // Any thread: wakes the waiter (a full pipe already will).
    void wake() const {
        const char b = 1;
        if (fds_[1] >= 0) [[maybe_unused]] auto n = ::write(fds_[1], &b, 1);
    }
    // The waiter: empties the pipe.
    void drain() const {
        char buf[64];
        while (fds_[0] >= 0 && ::read(fds_[0], buf, sizeof buf) > 0) {
        }
    }

private:
    int fds_[2];
};

}  // namespace gfx::x11
