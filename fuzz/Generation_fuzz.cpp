// Any field texts at all, taken from the input's lines: a run must end with a
// block or a message, and every line of a block must have one of the two
// register-line forms with "###0.000" numbers and no control character.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "document/NumberText.h"
#include "generation/FileBlock.h"
#include "FuzzChecks.h"

namespace {

using fuzzcheck::Check;
using fuzzcheck::IsScriptNumber;

// Checks one register line (without its CR LF) against its form.
void CheckLine(std::string_view line) {
    for (char c : line) Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    constexpr std::string_view clock = "\\clock [t= ";
    Check(line.substr(0, clock.size()) == clock);
    size_t close = line.find(']');
    Check(close != std::string_view::npos);
    Check(IsScriptNumber(line.substr(clock.size(), close - clock.size())));
    Check(line.substr(close, 12) == "]   \\setreg[");
    size_t f0 = line.rfind("   f0= ");
    Check(f0 != std::string_view::npos && line.back() == ']');
    Check(IsScriptNumber(line.substr(f0 + 7, line.size() - f0 - 8)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto next = [&]() {
        size_t end = bytes.find('\n');
        std::string field(bytes.substr(0, end));
        bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
        return field;
    };
    tw::DocumentTexts input;
    input.dKeyframe = next();
    input.framesPSec = next();
    input.startTime = next();
    input.acceleration = next();
    input.figure = next();
    input.fileHeader = "#header";
    for (int r = 0; r < tw::RegisterCount; ++r) {
        input.names[r] = "R" + std::to_string(r);
        input.initial[r] = bytes.empty() ? "0" : next();
        input.final[r] = bytes.empty() ? "0" : next();
    }
    // Long runs are legitimate but slow to fuzz.
    const double frames = tw::NumericValue(input.dKeyframe) * tw::NumericValue(input.framesPSec);
    if (!(frames < 60)) return 0;
    if (input.figure.find(']') != std::string::npos) input.figure.clear();

    auto result = tw::BlockFor(tw::BlockDestination::Clipboard, input);
    if (!result) {
        Check(!result.error().empty());
        return 0;
    }
    std::string_view text = result.value().text;
    Check(text.substr(0, 11) == "#header\r\n\r\n");
    text.remove_prefix(11);
    while (!text.empty()) {
        size_t end = text.find("\r\n");
        Check(end != std::string_view::npos);
        CheckLine(text.substr(0, end));
        text.remove_prefix(end + 2);
    }
    return 0;
}
