// Any bytes at all as a hap script: reading ends, every track is in ascending
// time with finite numbers, a broken line added at the end costs only itself,
// and lines the quick lanes take read the same line by line (also with a
// blank in front of every line).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "reading/HapScriptReader.h"
#include "FuzzChecks.h"

namespace {

using fuzzcheck::Check;

void CheckSame(const tw::HapTimeline& a, const tw::HapTimeline& b) {
    Check(a.hasClock == b.hasClock && a.firstTime == b.firstTime && a.lastTime == b.lastTime);
    Check(a.linesRead == b.linesRead && a.linesSkipped == b.linesSkipped);
    for (int r = 0; r < tw::RegisterCount; ++r) {
        Check(a.tracks[r].times == b.tracks[r].times);
        Check(a.tracks[r].values == b.tracks[r].values);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const tw::HapTimeline timeline = tw::ReadHapScript(bytes);

    const auto lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n') +
                                                std::count(bytes.begin(), bytes.end(), '\r')) + 1;
    Check(timeline.linesRead + timeline.linesSkipped <= lines);
    Check(timeline.hasClock || (timeline.firstTime == 0 && timeline.lastTime == 0));
    Check(std::isfinite(timeline.firstTime) && std::isfinite(timeline.lastTime));
    for (const tw::RegisterTrack& track : timeline.tracks) {
        Check(track.times.size() == track.values.size());
        Check(std::is_sorted(track.times.begin(), track.times.end()));
        for (std::size_t i = 0; i < track.times.size(); ++i)
            Check(std::isfinite(track.times[i]) && std::isfinite(track.values[i]));
        if (track.times.empty()) {
            Check(!tw::SampleTrack(track, 0).has_value());
        } else {
            Check(tw::SampleTrack(track, track.times.front() - 1) == track.values.front());
            Check(tw::SampleTrack(track, track.times.back()) == track.values.back());
        }
    }

    // The same bytes with a broken register line after them.
    std::string more(bytes);
    more += "\n\\clock [t= 1.000]   \\setreg[name= HeadTwist   f0= 1.0\n";
    tw::HapTimeline longer = tw::ReadHapScript(more);
    Check(longer.linesSkipped == timeline.linesSkipped + 1);
    --longer.linesSkipped;
    CheckSame(longer, timeline);

    std::string indented = " ";
    for (char c : bytes) {
        indented += c;
        if (c == '\n' || c == '\r') indented += ' ';
    }
    CheckSame(tw::ReadHapScript(indented), timeline);
    CheckSame(tw::ReadHapScriptLineByLine(bytes), timeline);
    CheckSame(tw::ReadHapScriptLineByLine(indented), timeline);
    return 0;
}
