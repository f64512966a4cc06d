// The document as the main window holds it: every field's text, the three
// texts of each register row, the sub header and the active file. Windows read
// it out of their fields and write it back; the core works on it alone.
#pragma once

#include <array>
#include <string>

#include "document/RegisterCatalogue.h"

namespace tw {

// The two keyframes of the document: the initial and the final values.
enum class KeyframeSide { Initial, Final };

struct DocumentTexts {
    std::string activeFile;    // path of the active hap file, empty until one is chosen
    std::string fileHeader;    // header line written before each block
    std::string figure;        // figure name, empty for none
    std::string startTime;     // time of the first frame, seconds
    std::string finishTime;    // start time + time between keyframes
    std::string dKeyframe;     // time between keyframes, seconds
    std::string framesPSec;    // frames per second
    std::string acceleration;  // 0 linear, above 0 accelerating, below 0 decelerating
    std::string subHeader;     // as typed: lines may end in LF, CR LF or CR
    std::array<std::string, RegisterCount> names;    // the name cells
    std::array<std::string, RegisterCount> initial;  // initial value texts
    std::array<std::string, RegisterCount> final;    // final value texts

    bool operator==(const DocumentTexts&) const = default;
};

}  // namespace tw
