// What the first byte of a UTF-8 sequence says: how long the sequence is and
// the range its second byte must lie in, which rules out overlong forms,
// surrogates and code points past U+10FFFF.
#pragma once

namespace tw {

struct Utf8Lead {
    int length = 0;  // 1 to 4; 0 when the byte cannot start a sequence
    unsigned char low = 0x80, high = 0xBF;
};

constexpr Utf8Lead LeadOf(unsigned char lead) {
    Utf8Lead sequence;
    if (lead < 0x80) {
        sequence.length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        sequence.length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        sequence.length = 3;
        if (lead == 0xE0) sequence.low = 0xA0;
        if (lead == 0xED) sequence.high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        sequence.length = 4;
        if (lead == 0xF0) sequence.low = 0x90;
        if (lead == 0xF4) sequence.high = 0x8F;
    }
    return sequence;
}

}  // namespace tw
