// Ctrl-C and SIGTERM end a render between frames, so that its temporary files are removed
// and nothing half-written is left at the destination.
#pragma once

namespace glintara::tool {

// Routes SIGINT and SIGTERM to a flag instead of ending the process.
void catchInterruptions();

// The signal that asked the render to stop, or 0.
int interruptionSignal();

// Throws Interrupted when a signal has arrived.
void stopIfInterrupted();

struct Interrupted {
    int signal;
};

}  // namespace glintara::tool
