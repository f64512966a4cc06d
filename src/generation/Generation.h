// Turning the window's field texts into one block of register lines: every
// frame of the run from frame 0 to the frame count, each register following
// its curve from the initial to the final value.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "document/RegisterCatalogue.h"
#include "generation/FrameEmitter.h"
#include "document/DocumentTexts.h"
#include "document/Outcome.h"
#include "document/Progress.h"

namespace tw {

struct GeneratedBlock {
    std::string text;  // header, empty line, credit and sub header if any, frames
    float frameCount = 0;
    float frameStep = 0;
};

// A block may hold at most this many bytes.
inline constexpr std::size_t MaxBlockBytes = std::size_t{1} << 30;

// Makes room for `bytes` in `text`, in huge pages where the kernel has them
// (a large block or whole file: the first touch of each 2 MiB then costs one
// fault, not 512).
void ReserveBlock(std::string& text, std::size_t bytes);

// The block's length in bytes, estimated from the longest time and the
// longest of each register's two values (the curves stay between them up to
// the frame count); a value that overshoots past a fractional frame count may
// be longer. `frames` is the number of frames the run writes.
double EstimateBlockBytes(const DocumentTexts& input, const FrameEmitter& emitter, double frames);

// Checks the whole input first, then writes the block: frame count =
// dKeyframe × framesPSec as a float, frame step = dKeyframe ÷ frame count, and
// frames 0, 1, 2, … while the index is below frame count + 1. A failure is
// a message; a time or value found out of range part-way ends the run then.
// `reuse` lends the memory of an earlier block (its text is discarded), so a
// run repeated with the same or a smaller size touches no fresh memory.
Outcome<GeneratedBlock> GenerateBlock(const DocumentTexts& input, const ProgressFn& progress = {},
                                      std::string reuse = {});

}  // namespace tw
