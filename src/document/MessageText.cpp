#include "document/MessageText.h"

namespace tw {
namespace {

// The length of the UTF-8 character starting at text[at]: 1 for an ASCII byte,
// a byte that starts no valid sequence, or a sequence cut short.
std::size_t CharacterBytes(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
    if (at + length > text.size()) return 1;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 1;
    return length;
}

}  // namespace

std::string Shortened(std::string_view text, std::size_t maxChars) {
    if (text.size() <= maxChars) return std::string(text);  // no more characters than bytes
    if (maxChars == 0) return {};
    std::size_t at = 0, chars = 0, keep = 0;
    while (at < text.size()) {
        if (chars == maxChars - 1) keep = at;
        if (chars == maxChars) return std::string(text.substr(0, keep)) + "\xE2\x80\xA6";
        at += CharacterBytes(text, at);
        ++chars;
    }
    return std::string(text);
}

}  // namespace tw
