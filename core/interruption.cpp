#include "core/interruption.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace glintara {
namespace {

// A signal handler can only reach the rest of the program through a flag like this.
volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void recordSignal(int signal) {
    caughtSignal = signal;
}

}  // namespace

void catchInterruptions() {
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

void stopIfInterrupted() {
    if (caughtSignal != 0) {
        throw Interrupted{caughtSignal};
    }
}

}  // namespace glintara
