// What every benchmark here shares: sides that do the same work, run in
// alternating rounds (ours, plain, ours, plain, ...) so that whatever else the
// machine does falls on every side alike; per side the median time and its
// range over the rounds, per pair of sides the median and range of the ratio
// taken round by round; and the short mode the test command runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace bench {

// Keeps the compiler from dropping work whose result is not otherwise used.
inline void Keep(const void* p) { asm volatile("" : : "g"(p) : "memory"); }

// The short mode: one round of each comparison, every result still checked.
// Asked for with --quick (taken out of argv) or TW_BENCH_QUICK=1.
inline bool TakeQuickFlag(int& argc, char** argv) {
    bool quick = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    const char* env = std::getenv("TW_BENCH_QUICK");
    return quick || (env != nullptr && *env != '\0' && std::strcmp(env, "0") != 0);
}

inline int RoundsFor(bool quick, int full = 7) { return quick ? 1 : full; }

// One side of a comparison. `prepare` runs before each timed run, untimed
// (removing last round's file, dropping or warming memory); `run` is timed.
struct Side {
    std::string name;
    std::function<void()> run;
    std::function<void()> prepare = {};
};

struct Spread {
    double median = 0, low = 0, high = 0;
};

inline Spread SpreadOf(std::vector<double> values) {
    if (values.empty()) return {};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

// Milliseconds of each side in each round: times[side][round].
using Times = std::vector<std::vector<double>>;

inline Times Alternate(int rounds, const std::vector<Side>& sides) {
    Times times(sides.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t s = 0; s < sides.size(); ++s) {
            if (sides[s].prepare) sides[s].prepare();
            const auto start = std::chrono::steady_clock::now();
            sides[s].run();
            const auto stop = std::chrono::steady_clock::now();
            times[s].push_back(std::chrono::duration<double, std::milli>(stop - start).count());
        }
    }
    return times;
}

// numerator[i] / denominator[i], round by round.
inline Spread RatioSpread(const std::vector<double>& numerator, const std::vector<double>& denominator) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < numerator.size() && i < denominator.size(); ++i)
        ratios.push_back(numerator[i] / denominator[i]);
    return SpreadOf(ratios);
}

// How a side stands to the reference side (`ours`): a baseline is reported as
// how many times longer it takes than ours, a limit as how many times longer
// ours takes than it.
enum class Role { Ours, Baseline, Limit };

// Prints one comparison: a title line, then per side its median and range in
// milliseconds and its ratio to side `ours`, and returns the medians.
inline std::vector<double> Report(const std::string& title, int rounds, const std::vector<Side>& sides,
                                  const std::vector<Role>& roles, const Times& times, std::size_t ours = 0) {
    std::printf("\n%s (%d round%s, sides in turn)\n", title.c_str(), rounds, rounds == 1 ? "" : "s");
    std::printf("  %-46s %10s  %-21s %s\n", "side", "median ms", "range ms", "ratio (median, range)");
    std::vector<double> medians;
    for (std::size_t s = 0; s < sides.size(); ++s) {
        const Spread t = SpreadOf(times[s]);
        medians.push_back(t.median);
        char range[64];
        std::snprintf(range, sizeof range, "%.1f-%.1f", t.low, t.high);
        std::string ratio;
        char text[128];
        if (roles[s] == Role::Baseline) {
            const Spread r = RatioSpread(times[s], times[ours]);
            std::snprintf(text, sizeof text, "%.2fx ours (%.2f-%.2f)", r.median, r.low, r.high);
            ratio = text;
        } else if (roles[s] == Role::Limit) {
            const Spread r = RatioSpread(times[ours], times[s]);
            std::snprintf(text, sizeof text, "limit: ours takes %.2fx (%.2f-%.2f)", r.median, r.low, r.high);
            ratio = text;
        }
        std::printf("  %-46s %10.1f  %-21s %s\n", sides[s].name.c_str(), t.median, range, ratio.c_str());
    }
    return medians;
}

}  // namespace bench
