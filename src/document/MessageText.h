// Texts shown in message boxes, cut to a size a box can show: a name read
// from a file or a pasted field can be megabytes long, and a box that tries to
// lay out all of it holds the window for minutes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tw {

// How many characters of a name or a quoted text a message keeps.
inline constexpr std::size_t ShownNameChars = 80;
// How many characters a whole message keeps.
inline constexpr std::size_t ShownMessageChars = 1000;

// `text` (UTF-8) when it has at most `maxChars` characters; else its first
// maxChars - 1 characters and an ellipsis ("…"). Never splits a character; an
// invalid byte counts as one character.
std::string Shortened(std::string_view text, std::size_t maxChars);

// A name or text as a message quotes it: Shortened to ShownNameChars.
inline std::string ShownName(std::string_view text) { return Shortened(text, ShownNameChars); }

// A whole message as a box shows it: Shortened to ShownMessageChars.
inline std::string FitForBox(std::string_view message) { return Shortened(message, ShownMessageChars); }

}  // namespace tw
