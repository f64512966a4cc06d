#include "document/RegisterValues.h"

#include <cmath>

#include "document/NumberText.h"

namespace tw {

void ResetInitial(KeyframeColumns& columns) {
    for (auto& text : columns.initial) text.assign(1, '0');
}

void ResetFinal(KeyframeColumns& columns) {
    for (auto& text : columns.final) text.assign(1, '0');
}

void CopyInitialToFinal(KeyframeColumns& columns) {
    columns.final = columns.initial;
}

void SwapInitialAndFinal(KeyframeColumns& columns) {
    for (int i = 0; i <= LastRegisterIndex; ++i) {
        std::string remembered = std::move(columns.initial[i]);
        if (std::optional<double> value = StrictNumber(remembered)) {
            float single = static_cast<float>(*value);
            if (std::isfinite(single)) remembered = DecimalText(single);
        }
        columns.initial[i] = std::move(columns.final[i]);
        columns.final[i] = std::move(remembered);
    }
}

}  // namespace tw
