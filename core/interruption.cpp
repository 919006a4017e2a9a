#include "core/interruption.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace glintara {
namespace {

// A signal handler can only reach the rest of the program through a flag like this, and a
// pipe it writes a byte into: a wait that polls the pipe too ends at once, even for a signal
// that came before the wait began.
volatile std::sig_atomic_t caughtSignal = 0;
int signalPipe[2] = {-1, -1};

extern "C" void recordSignal(int signal) {
    const int saved = errno;
    caughtSignal = signal;
    if (signalPipe[1] >= 0) {
        [[maybe_unused]] const ssize_t written = write(signalPipe[1], "!", 1);
    }
    errno = saved;
}

}  // namespace

void catchInterruptions() {
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        signalPipe[0] = signalPipe[1] = -1;  // waits then end on the flag alone, at EINTR
    }
    struct sigaction action {};
    action.sa_handler = recordSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

void keepStandardStreamsOpen() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0) {
            const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            if (opened >= 0 && opened != fd) {
                close(opened);  // a lower number was free: it is filled on an earlier turn
            }
        }
    }
}

int interruptionSignal() {
    return caughtSignal;
}

bool waitUntilReadable(int fd) {
    pollfd watched[2] = {{fd, POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
    const nfds_t count = signalPipe[0] >= 0 ? 2 : 1;
    while (caughtSignal == 0) {
        const int ready = poll(watched, count, -1);
        if (ready < 0 && errno != EINTR) {
            return true;  // the read that follows reports the error
        }
        if (ready > 0 && watched[0].revents != 0) {
            return caughtSignal == 0;
        }
    }
    return false;
}

void stopIfInterrupted() {
    if (caughtSignal != 0) {
        throw Interrupted{caughtSignal};
    }
}

}  // namespace glintara
