// Ctrl-C, SIGTERM and SIGHUP (the terminal closed) end a job between frames, so that its
// temporary files are removed and nothing half-written is left at the destination.
#pragma once

namespace glintara {

// Routes SIGINT, SIGTERM and SIGHUP to a flag instead of ending the process. They interrupt
// a blocking call (opening a FIFO, reading a pipe) rather than letting it wait on. SIGPIPE
// is ignored: a closed stderr never ends a render halfway.
void catchInterruptions();

// Opens /dev/null in place of a standard stream the tool was started without, so that no
// file it opens later takes that number and receives what is meant for stderr.
void keepStandardStreamsOpen();

// The signal that asked the render to stop, or 0.
int interruptionSignal();

// Waits until `fd` has bytes to read, its end, or an error (for a regular file at once); false
// when a signal has asked to stop, before or during the wait.
bool waitUntilReadable(int fd);

// Throws Interrupted when a signal has arrived.
void stopIfInterrupted();

struct Interrupted {
    int signal;
};

}  // namespace glintara
