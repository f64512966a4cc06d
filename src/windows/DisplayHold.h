// Waiting for the X display before the application connects to it. An X
// server that has just lost its last client resets itself, and for that moment
// it refuses new connections; Qt gives up on a refused first connection by
// aborting the program. So the program connects first, retrying for a while,
// and keeps its connection open until Qt has made its own: a server with a
// client does not reset.
#pragma once

#include <string>

namespace tw {

class DisplayHold {
public:
    // Connects when the program will draw through X: no other platform asked
    // for (QT_QPA_PLATFORM, "-platform") and DISPLAY set. Retries for up to
    // `waitMs` milliseconds.
    DisplayHold(int argc, char** argv, int waitMs = 5000);
    ~DisplayHold();
    DisplayHold(const DisplayHold&) = delete;
    DisplayHold& operator=(const DisplayHold&) = delete;

    // False when X is to be used and no connection came in time.
    bool ok() const { return error_.empty(); }
    // Why not, for the user.
    const std::string& error() const { return error_; }
    // Closes the connection (Qt holds its own by now).
    void Release();

private:
    void* library_ = nullptr;
    void* connection_ = nullptr;
    void (*disconnect_)(void*) = nullptr;
    std::string error_;
};

}  // namespace tw
