// The document the main window shows when it starts: the fields' defaults,
// the catalogue's names in the name cells and "0" in every value box.
#pragma once

#include "document/DocumentTexts.h"

namespace tw {

DocumentTexts StartupDocument();

}  // namespace tw
