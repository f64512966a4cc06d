#include "generation/HapScript.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "generation/Digits.h"

namespace tw {

char* WriteNumber(char* out, double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const unsigned biased = static_cast<unsigned>(bits >> 52) & 0x7ffu;
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);

    if (biased == 0x7ffu) {
        // Generation never writes these; they still get a readable, bounded text.
        const std::string_view text = fraction != 0 ? "nan" : (negative ? "-inf" : "inf");
        std::memcpy(out, text.data(), text.size());
        return out + text.size();
    }
    if (biased == 0 && fraction == 0) {
        std::memcpy(out, "0.000", 5);
        return out + 5;
    }

    // value = ±m · 2^e with m a whole number below 2^53.
    std::uint64_t m;
    int e;
    if (biased == 0) {
        m = fraction;
        e = -1074;
    } else {
        m = fraction | (std::uint64_t{1} << 52);
        e = static_cast<int>(biased) - 1075;
    }

    if (negative) *out++ = '-';

    if (e >= 0) {
        // A whole number. Up to 2^63 it fits a 64-bit integer; beyond that the
        // library's exact fixed conversion gives every digit.
        if (e <= 10) {
            out = WriteDecimal(out, m << e);
        } else {
            out = std::to_chars(out, out + 310, std::fabs(value), std::chars_format::fixed, 0).ptr;
        }
        std::memcpy(out, ".000", 4);
        return out + 4;
    }

    // Thousandths: q = round(m · 1000 / 2^s), halves away from zero. m · 1000 is
    // below 2^63, so the product and the remainder are exact.
    const int s = -e;
    std::uint64_t q = 0;
    if (s < 64) {
        const std::uint64_t scaled = m * 1000;
        q = scaled >> s;
        const std::uint64_t rest = scaled & ((std::uint64_t{1} << s) - 1);
        if (rest >= (std::uint64_t{1} << (s - 1))) ++q;
    }
    if (q < 10000) {
        // The usual case: one integer digit.
        *out++ = static_cast<char>('0' + q / 1000);
    } else {
        out = WriteDecimal(out, q / 1000);
    }
    *out++ = '.';
    return WriteThreeDigits(out, static_cast<unsigned>(q % 1000));
}

void AppendNumber(std::string& buf, double value) {
    char text[MaxNumberChars];
    buf.append(text, WriteNumber(text, value));
}

std::string FormatNumber(double value) {
    std::string text;
    AppendNumber(text, value);
    return text;
}

void StartBlock(std::string& buf, std::string_view header) {
    buf.clear();
    buf.reserve(header.size() + 2 * LineEnd.size());
    buf.append(header);
    buf.append(LineEnd);
    buf.append(LineEnd);
}

void AddSubHeader(std::string& buf, std::string_view subHeader) {
    if (subHeader.empty()) return;
    buf.append(CreditLine);
    buf.append(LineEnd);
    buf.append(subHeader);
    buf.append(LineEnd);
}

std::string RegisterLinePiece(std::string_view figure, std::string_view name) {
    std::string piece = "]   \\setreg[";
    if (!figure.empty()) {
        piece += "figure= ";
        piece += figure;
        piece += ' ';
    }
    piece += "name= ";
    piece += name;
    piece += "   f0= ";
    return piece;
}

void AppendRegisterLine(std::string& buf, double time, std::string_view figure,
                        std::string_view name, double value) {
    buf.append(ClockPrefix);
    AppendNumber(buf, time);
    buf.append(RegisterLinePiece(figure, name));
    AppendNumber(buf, value);
    buf.append(LineClose);
}

std::string QuotedRecord(std::string_view block) {
    std::string record;
    record.reserve(RecordOpen.size() + block.size() + RecordClose.size());
    record.append(RecordOpen);
    record.append(block);
    record.append(RecordClose);
    return record;
}

}  // namespace tw
