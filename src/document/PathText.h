// File names as texts. A name on this system is any bytes but '/' and NUL,
// while the fields and lists show UTF-8 text: a byte that is not part of valid
// UTF-8 is shown as "\xHH" (two upper-case hex digits), and a backslash that
// would read as such an escape is itself shown as "\x5C". The shown text so
// names exactly one file, and every place that opens, writes or deletes a
// file turns the text back into the name's bytes first.
#pragma once

#include <string>
#include <string_view>

namespace tw {

// The text a name or path (its bytes) is shown as.
std::string ShownPath(std::string_view bytes);

// A path as every message names it: its shown text in quotation marks, whole,
// so the message names exactly one file ("/tmp/a b.hap" in quotes).
std::string QuotedPath(std::string_view bytes);

// The bytes of the name or path a shown text stands for; a text with no
// escape in it is its own bytes.
std::string PathBytes(std::string_view shown);

}  // namespace tw
