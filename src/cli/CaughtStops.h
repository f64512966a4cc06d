// The stop requests (SIGTERM, SIGINT, SIGHUP) caught while a command runs, so
// that it can finish what it holds and say how it ended instead of being cut
// off: a record written whole is still reported, and one not yet written is
// not written at all.
#pragma once

#include <csignal>

namespace tw {

class CaughtStops {
public:
    // Catches the stop requests until destroyed, which puts back what was
    // there before.
    CaughtStops();
    ~CaughtStops();
    CaughtStops(const CaughtStops&) = delete;
    CaughtStops& operator=(const CaughtStops&) = delete;

    // The signal asked for a stop since this was made; 0 for none.
    static int Caught();
    // Its name ("SIGTERM").
    static const char* Name(int signal);

private:
    struct sigaction previous_[3];
};

}  // namespace tw
