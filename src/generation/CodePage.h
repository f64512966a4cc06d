// Script files hold 8-bit text in the Windows-1252 code page; the program works
// in UTF-8. User texts are converted as a file is written.
#pragma once

#include <string>
#include <string_view>

namespace tw {

// UTF-8 to Windows-1252: ASCII unchanged, U+00A0..U+00FF as the same byte, the
// 27 characters the code page places at 0x80..0x9F to those bytes, and every
// other character as '?'. An invalid UTF-8 sequence (its longest valid-looking
// start, or one stray byte) also becomes one '?'.
std::string EncodeCodePage(std::string_view utf8);

}  // namespace tw
