#include "windows/DisplayHold.h"

#include <dlfcn.h>
#include <time.h>

#include <cstdlib>
#include <cstring>

namespace tw {
namespace {

bool UsesX(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return false;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0) return false;
    const char* session = std::getenv("XDG_SESSION_TYPE");
    if ((!platform || !*platform) && session && std::strcmp(session, "wayland") == 0) return false;
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

}  // namespace

DisplayHold::DisplayHold(int argc, char** argv, int waitMs) {
    if (!UsesX(argc, argv)) return;
    // The X library is loaded here rather than linked: Qt's own X plugin
    // brings it along, and without it Qt reports the problem itself.
    library_ = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) return;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    const auto connect = reinterpret_cast<Connect>(::dlsym(library_, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(::dlsym(library_, "xcb_connection_has_error"));
    disconnect_ = reinterpret_cast<void (*)(void*)>(::dlsym(library_, "xcb_disconnect"));
    if (!connect || !hasError || !disconnect_) return;
    constexpr int stepMs = 50;
    for (int waited = 0;; waited += stepMs) {
        void* connection = connect(nullptr, nullptr);
        if (connection && hasError(connection) == 0) {
            connection_ = connection;
            return;
        }
        if (connection) disconnect_(connection);  // an errored connection is freed this way too
        if (waited >= waitMs) break;
        const timespec pause{0, stepMs * 1000000L};
        ::nanosleep(&pause, nullptr);
    }
    error_ = std::string("Tweenwright cannot reach the display \"") + std::getenv("DISPLAY") + "\".";
}

void DisplayHold::Release() {
    if (connection_) disconnect_(connection_);
    connection_ = nullptr;
}

DisplayHold::~DisplayHold() {
    Release();
    // The library stays loaded: Qt's plugin uses it too.
}

}  // namespace tw
