// Any bytes at all, read as a field text: the readers must end, give finite
// numbers, agree with each other, and write texts that read back the same.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "document/NumberText.h"
#include "generation/HapScript.h"
#include "FuzzChecks.h"

namespace {

using fuzzcheck::Check;
using fuzzcheck::IsScriptNumber;

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
