// Reading hap scripts into one timeline per register, for the player in the
// character view. Takes any bytes: a script file of quoted records as the
// generator writes them, a pasted block, or something else entirely.
//
// Lines end at LF, CR LF or a lone CR. On each line a leading and a trailing
// double quotation mark (the quoted record's edges) and surrounding blanks are
// ignored. A line is a sequence of commands "\word [arguments]" (brackets may
// nest) separated by blanks; of these, "\clock [t= T]" sets the clock and
// "\setreg[figure= FIG name= NAME f0= V]" (figure optional) adds a keyframe
// for NAME at the clock's current time; other commands are ignored. A line
// that is not such a sequence, or whose clock or register command does not
// read, is skipped whole. Lines starting with '#' (the header and credit
// lines) and blank lines are neither read nor skipped.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "document/RegisterCatalogue.h"

namespace tw {

// One register's keyframes in file order of time: times ascending after reading
// (stable sort by time if the file's clock goes backwards; equal times keep file
// order, the last wins).
struct RegisterTrack {
    std::vector<double> times;
    std::vector<float> values;
};

struct HapTimeline {
    std::array<RegisterTrack, RegisterCount> tracks;  // by catalogue index; names not in
                                                      // the catalogue are skipped
    double firstTime = 0, lastTime = 0;               // first and last clock value met
    bool hasClock = false;                            // any clock value at all
    std::size_t linesRead = 0;     // lines holding a clock or register command
    std::size_t linesSkipped = 0;  // other lines, except blank and '#' lines
};

// Any bytes: never fails, linear time; a malformed line costs only that line.
// Numbers are read locale-independently; times must be finite doubles and
// values finite floats.
HapTimeline ReadHapScript(std::string_view bytes);
// The same, looking at `stop` every few thousand lines and ending early, with
// the lines read so far, when it is set.
HapTimeline ReadHapScript(std::string_view bytes, const std::atomic<bool>* stop);

// The same reading with every line taken apart command by command, without
// the quick lanes ReadHapScript takes for lines of the usual forms; gives the
// same timeline, more slowly. For checking those lanes.
HapTimeline ReadHapScriptLineByLine(std::string_view bytes);

// The value of a track at time t: held from one keyframe to the next (step),
// the first value before the first time; nullopt for an empty track.
std::optional<float> SampleTrack(const RegisterTrack& track, double t);

}  // namespace tw
