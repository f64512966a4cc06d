#include "document/FixedPaths.h"

#include <cstdlib>

namespace tw {

std::string StartupBackgroundPath() {
    const char* home = std::getenv("HOME");
    std::string folder = home && *home ? home : "/tmp";
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder + "/tweenwrightBG.jpeg";
}

}  // namespace tw
