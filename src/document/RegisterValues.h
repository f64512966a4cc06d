// The two keyframes as one table of texts (initial and final value per
// register) and the four commands that act on whole columns.
#pragma once

#include <array>
#include <string>

#include "document/RegisterCatalogue.h"

namespace tw {

struct KeyframeColumns {
    std::array<std::string, RegisterCount> initial;
    std::array<std::string, RegisterCount> final;
};

// Every initial value becomes "0"; the final column is untouched.
void ResetInitial(KeyframeColumns& columns);
// Every final value becomes "0"; the initial column is untouched.
void ResetFinal(KeyframeColumns& columns);
// Every final value becomes the exact text of its initial value.
void CopyInitialToFinal(KeyframeColumns& columns);
// The final texts move to the initial column unchanged; the initial values
// arrive in the final column as single-precision numbers (7 significant
// digits). An initial text that is not such a number moves over unchanged.
void SwapInitialAndFinal(KeyframeColumns& columns);

}  // namespace tw
