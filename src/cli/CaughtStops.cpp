#include "cli/CaughtStops.h"

namespace tw {
namespace {

constexpr int Stops[3] = {SIGTERM, SIGINT, SIGHUP};
volatile std::sig_atomic_t caught = 0;

extern "C" void NoteStop(int signal) {
    if (caught == 0) caught = signal;
}

}  // namespace

CaughtStops::CaughtStops() {
    caught = 0;
    struct sigaction note {};
    note.sa_handler = NoteStop;
    sigemptyset(&note.sa_mask);
    // Reads and waits go on after the handler: the command looks at the
    // request between its steps.
    note.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) ::sigaction(Stops[i], &note, &previous_[i]);
}

CaughtStops::~CaughtStops() {
    for (int i = 0; i < 3; ++i) ::sigaction(Stops[i], &previous_[i], nullptr);
}

int CaughtStops::Caught() { return caught; }

const char* CaughtStops::Name(int signal) {
    switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}

}  // namespace tw
