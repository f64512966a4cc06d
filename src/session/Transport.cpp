#include "session/Transport.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace tw {

std::vector<double> KeyframeTimes(const HapTimeline& timeline) {
    std::vector<double> times, merged;
    for (const RegisterTrack& track : timeline.tracks) {
        if (track.times.empty() || track.times == times) continue;
        if (times.empty()) {
            times = track.times;
            times.erase(std::unique(times.begin(), times.end()), times.end());
            if (times == track.times) continue;
        }
        merged.clear();
        merged.reserve(times.size() + track.times.size());
        std::set_union(times.begin(), times.end(), track.times.begin(), track.times.end(),
                       std::back_inserter(merged));
        merged.erase(std::unique(merged.begin(), merged.end()), merged.end());
        times.swap(merged);
    }
    return times;
}

double TimeScale::TimeAt(double x) const {
    if (!(last > first) || width <= 1 || !std::isfinite(x)) return first;
    const double share = std::clamp(x / (width - 1), 0.0, 1.0);
    return share >= 1 ? last : first + (last - first) * share;
}

int TimeScale::ColumnOf(double t) const {
    if (!(last > first) || width <= 1 || !std::isfinite(t)) return 0;
    const double share = std::clamp((t - first) / (last - first), 0.0, 1.0);
    return static_cast<int>(std::lround(share * (width - 1)));
}

std::vector<int> TickColumns(const std::vector<double>& times, const TimeScale& scale) {
    std::vector<int> columns;
    for (double t : times) {
        const int c = scale.ColumnOf(t);
        if (columns.empty() || columns.back() != c) columns.push_back(c);
    }
    return columns;
}

double ScrubTime(const std::vector<double>& times, const TimeScale& scale, double x, int reach) {
    const double t = scale.TimeAt(x);
    if (times.empty() || !std::isfinite(x)) return t;
    // The ticks nearest t are the keyframe times on either side of it.
    const auto after = std::lower_bound(times.begin(), times.end(), t);
    const double column = std::clamp(x, 0.0, static_cast<double>(std::max(scale.width - 1, 0)));
    double best = t, bestDistance = reach + 0.5;
    for (auto it : {after, after == times.begin() ? after : std::prev(after)}) {
        if (it == times.end()) continue;
        const double distance = std::fabs(scale.ColumnOf(*it) - column);
        if (distance < bestDistance) {
            best = *it;
            bestDistance = distance;
        }
    }
    return best;
}

double PreviousTime(const std::vector<double>& times, double t) {
    if (times.empty()) return t;
    const auto before = std::lower_bound(times.begin(), times.end(), t);
    return before == times.begin() ? times.front() : *std::prev(before);
}

double NextTime(const std::vector<double>& times, double t) {
    if (times.empty()) return t;
    const auto after = std::upper_bound(times.begin(), times.end(), t);
    return after == times.end() ? times.back() : *after;
}

double LoopedTime(double first, double last, double elapsed) {
    const double span = last - first;
    if (!(span > 0) || !std::isfinite(span) || !std::isfinite(elapsed) || elapsed < 0) return first;
    const double t = first + std::fmod(elapsed, span);
    return t < last ? t : first;
}

PoseValues SamplePose(const HapTimeline& timeline, double t) {
    PoseValues values{};
    for (int i = 0; i < RegisterCount; ++i) values[i] = SampleTrack(timeline.tracks[i], t).value_or(0.0f);
    return values;
}

}  // namespace tw
