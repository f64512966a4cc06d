// The fixed places the program reads from or writes to, named in one spot.
#pragma once

#include <string>

namespace tw {

// The picture the character view shows as background at start-up: a file the
// user may put in the home folder. Whether it exists is not checked.
std::string StartupBackgroundPath();

}  // namespace tw
