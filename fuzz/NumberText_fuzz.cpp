// Any bytes at all, read as a field text: the readers must end, give finite
// numbers, agree with each other, and write texts that read back the same.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "document/NumberText.h"
#include "generation/HapScript.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool IsScriptNumber(const std::string& text) {
    size_t i = text[0] == '-' ? 1 : 0;
    size_t point = text.find('.');
    if (point == std::string::npos || point == i || text.size() - point != 4) return false;
    for (size_t k = i; k < text.size(); ++k)
        if (k != point && (text[k] < '0' || text[k] > '9')) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const double lenient = tw::NumericValue(text);
    Check(std::isfinite(lenient));
    const std::string decimal = tw::DecimalText(lenient);
    Check(tw::DecimalText(tw::NumericValue(decimal)) == decimal);
    Check(tw::StrictNumber(decimal).has_value());
    if (std::optional<double> strict = tw::StrictNumber(text)) {
        Check(std::isfinite(*strict));
        Check(*strict == lenient);
        Check(IsScriptNumber(tw::FormatNumber(*strict)));
    }
    const std::string single = tw::DecimalText(static_cast<float>(lenient));
    Check(tw::StrictNumber(single).has_value());
    return 0;
}
