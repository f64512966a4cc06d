// The active hap file as a whole: deleting it.
#pragma once

#include <string>

#include "document/Outcome.h"

namespace tw {

// Deletes exactly the one file `path` names: the name is never a pattern, a
// folder is never removed, and a symbolic link is removed as the link, never
// its target. Fails with a message naming the file and the reason.
Outcome<void> DeleteOneFile(const std::string& path);

}  // namespace tw
