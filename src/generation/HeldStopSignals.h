// Holding the signals that ask the program to stop while a file is changed.
#pragma once

#include <pthread.h>
#include <signal.h>

namespace tw {

// While alive, the signals that ask the program to stop (a logout, a
// shutdown, Ctrl+C, a closed terminal) are held for this thread: a change to
// a file in hand then finishes before one takes effect, and none leaves a
// record torn or a file cut half-way through a check.
class HeldStopSignals {
public:
    HeldStopSignals() {
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGTERM);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGHUP);
        ::pthread_sigmask(SIG_BLOCK, &stops, &previous_);
    }
    ~HeldStopSignals() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    HeldStopSignals(const HeldStopSignals&) = delete;
    HeldStopSignals& operator=(const HeldStopSignals&) = delete;

private:
    sigset_t previous_;
};

}  // namespace tw
