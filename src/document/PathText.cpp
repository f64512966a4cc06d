#include "document/PathText.h"

#include "document/Utf8Lead.h"

namespace tw {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The length of the valid UTF-8 sequence at text[at], or 0 when none starts
// there (overlong forms, surrogates and values past U+10FFFF are invalid).
std::size_t ValidSequence(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const Utf8Lead sequence = LeadOf(byte(0));
    const auto length = static_cast<std::size_t>(sequence.length);
    if (length <= 1) return length;
    if (at + length > text.size()) return 0;
    if (byte(1) < sequence.low || byte(1) > sequence.high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((byte(k) & 0xC0) != 0x80) return 0;
    return length;
}

bool IsEscape(std::string_view text, std::size_t at) {
    return at + 4 <= text.size() && text[at] == '\\' && text[at + 1] == 'x' && HexDigit(text[at + 2]) >= 0 &&
           HexDigit(text[at + 3]) >= 0;
}

void AppendEscape(std::string& out, unsigned char byte) {
    static constexpr char hex[] = "0123456789ABCDEF";
    out += "\\x";
    out += hex[byte >> 4];
    out += hex[byte & 0xF];
}

}  // namespace

std::string ShownPath(std::string_view bytes) {
    std::string shown;
    shown.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        if (IsEscape(bytes, at)) {
            AppendEscape(shown, '\\');
            ++at;
            continue;
        }
        const std::size_t length = ValidSequence(bytes, at);
        if (length == 0) {
            AppendEscape(shown, static_cast<unsigned char>(bytes[at]));
            ++at;
        } else {
            shown.append(bytes.substr(at, length));
            at += length;
        }
    }
    return shown;
}

std::string PathBytes(std::string_view shown) {
    std::string bytes;
    bytes.reserve(shown.size());
    for (std::size_t at = 0; at < shown.size();) {
        if (IsEscape(shown, at)) {
            bytes += static_cast<char>(HexDigit(shown[at + 2]) * 16 + HexDigit(shown[at + 3]));
            at += 4;
        } else {
            bytes += shown[at++];
        }
    }
    return bytes;
}

std::string QuotedPath(std::string_view bytes) { return '"' + ShownPath(bytes) + '"'; }

}  // namespace tw
