#include "render-tool/interruption.hpp"

#include <csignal>

namespace glintara::tool {
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
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int interruptionSignal() {
    return caughtSignal;
}

void stopIfInterrupted() {
    if (caughtSignal != 0) {
        throw Interrupted{caughtSignal};
    }
}

}  // namespace glintara::tool
