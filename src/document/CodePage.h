// Script files hold 8-bit text in the Windows-1252 code page; the program works
// in UTF-8. User texts are converted as a file is written.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tw {

// UTF-8 to Windows-1252: ASCII unchanged, U+00A0..U+00FF as the same byte, the
// 27 characters the code page places at 0x80..0x9F to those bytes, and every
// other character as '?'. An invalid UTF-8 sequence (its longest valid-looking
// start, or one stray byte) also becomes one '?'.
std::string EncodeCodePage(std::string_view utf8);

// Windows-1252 to UTF-8: ASCII unchanged, 0xA0..0xFF as U+00A0..U+00FF, the 27
// assigned bytes of 0x80..0x9F as their characters, and the five unassigned
// bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) as U+0081.. the same code point, as the
// system code page passes them through. Every byte gives exactly one character.
std::string DecodeCodePage(std::string_view bytes);

// The first character of `utf8` that the code page cannot hold (as UTF-8),
// or nothing when every character fits. An invalid sequence counts as such a
// character and is given as the bytes that make it up.
std::optional<std::string> FirstCharacterOutsideCodePage(std::string_view utf8);

}  // namespace tw
