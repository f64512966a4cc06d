#include "reading/HapScriptReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>

#include "document/AsciiCase.h"

namespace tw {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

constexpr double Pow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The number at p in the plain form "-123.456" (up to 15 digits, no exponent),
// stopping at the first other character: its end, or null when there is no
// such number.
const char* ScanPlainNumber(const char* p, const char* end, double& out) {
    const bool negative = p != end && *p == '-';
    p += negative;
    std::uint64_t digits = 0;
    int count = 0, decimals = 0;
    bool point = false;
    for (; p != end; ++p) {
        const unsigned d = static_cast<unsigned>(*p - '0');
        if (d < 10) {
            digits = digits * 10 + d;
            ++count;
            decimals += point;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (count == 0 || count > 15) return nullptr;
    const double value = static_cast<double>(digits) / Pow10[decimals];
    out = negative ? -value : value;
    return p;
}

// The whole text as one decimal number (sign, digits, period, exponent), finite.
// The plain form (up to 15 digits, no exponent) is read as ScanPlainNumber
// reads it, the exact quotient digits / 10^decimals, which is correctly
// rounded; anything longer goes to the library's exact conversion.
bool ReadNumber(std::string_view text, double& out) {
    const char* p = text.data();
    const char* end = p + text.size();
    if (p != end && *p == '+') {
        ++p;
        if (p != end && *p == '-') return false;
    }
    double value;
    if (ScanPlainNumber(p, end, value) == end) {
        out = value;
        return true;
    }
    const bool negative = p != end && *p == '-';
    p += negative;
    if (p == end || *p == '-' || *p == '+') return false;
    const auto result = std::from_chars(p, end, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) return false;
    out = negative ? -value : value;
    return true;
}

// Characters a figure or name may hold in the generator's line form.
bool IsPlainNameChar(char c) {
    return c != ' ' && c != '\t' && c != '[' && c != ']' && c != '=' && c != '\r' && c != '\n';
}

const char* SkipBlanks(const char* p, const char* end) {
    while (p != end && IsBlank(*p)) ++p;
    return p;
}

bool StartsWith(const char* p, const char* end, std::string_view text) {
    return static_cast<std::size_t>(end - p) >= text.size() && std::memcmp(p, text.data(), text.size()) == 0;
}

// After a command word "clock": " [t= T]" with any blanks where blanks may
// stand; the end of it, or null.
const char* ClockArguments(const char* p, const char* end, double& time) {
    p = SkipBlanks(p, end);
    if (p == end || *p != '[') return nullptr;
    p = SkipBlanks(p + 1, end);
    if (!StartsWith(p, end, "t=")) return nullptr;
    p = ScanPlainNumber(SkipBlanks(p + 2, end), end, time);
    if (!p) return nullptr;
    p = SkipBlanks(p, end);
    return p != end && *p == ']' ? p + 1 : nullptr;
}

// After a command word "setreg": "[figure= F name= N f0= V]" (figure
// optional) with any blanks where blanks may stand; the end of it, or null.
const char* SetRegArguments(const char* p, const char* end, std::string_view& name, double& value) {
    p = SkipBlanks(p, end);
    if (p == end || *p != '[') return nullptr;
    p = SkipBlanks(p + 1, end);
    if (StartsWith(p, end, "figure=")) {
        const char* figure = p = SkipBlanks(p + 7, end);
        while (p != end && IsPlainNameChar(*p)) ++p;
        if (p == figure || p == end || !IsBlank(*p)) return nullptr;
        p = SkipBlanks(p, end);
    }
    if (!StartsWith(p, end, "name=")) return nullptr;
    const char* word = p = SkipBlanks(p + 5, end);
    while (p != end && IsPlainNameChar(*p)) ++p;
    name = std::string_view(word, p - word);
    if (name.empty() || p == end || !IsBlank(*p)) return nullptr;
    p = SkipBlanks(p, end);
    if (!StartsWith(p, end, "f0=")) return nullptr;
    p = ScanPlainNumber(SkipBlanks(p + 3, end), end, value);
    if (!p) return nullptr;
    p = SkipBlanks(p, end);
    return p != end && *p == ']' ? p + 1 : nullptr;
}

// At the end of a line's commands: a quoted record's closing mark with
// blanks after it, if any, then the line end; where the next line starts,
// or null when anything else follows.
const char* LineEnd(const char* p, const char* end) {
    if (p != end && *p == '"') p = SkipBlanks(p + 1, end);
    if (p == end) return p;
    if (*p == '\n') return p + 1;
    if (*p != '\r') return nullptr;
    ++p;
    return p != end && *p == '\n' ? p + 1 : p;
}

// Register name to catalogue index: a learned guess (the register that followed
// this one last time, as the generator writes them in catalogue order), then an
// open-addressed table.
class NameIndex {
public:
    NameIndex() {
        slots_.fill(-1);
        const auto& catalogue = RegisterCatalogue();
        for (int r = 0; r < RegisterCount; ++r) {
            std::size_t s = Hash(catalogue[r].name) & (Slots - 1);
            while (slots_[s] >= 0) s = (s + 1) & (Slots - 1);
            slots_[s] = static_cast<short>(r);
            next_[r] = static_cast<short>((r + 1) % RegisterCount);
        }
    }

    // -1 for a name not in the catalogue.
    int Find(std::string_view name) {
        const auto& catalogue = RegisterCatalogue();
        int found = -1;
        if (catalogue[guess_].name == name) {
            found = guess_;
        } else {
            for (std::size_t s = Hash(name) & (Slots - 1); slots_[s] >= 0; s = (s + 1) & (Slots - 1))
                if (catalogue[slots_[s]].name == name) {
                    found = slots_[s];
                    break;
                }
            if (found < 0) return -1;
            next_[last_] = static_cast<short>(found);
        }
        last_ = found;
        guess_ = next_[found];
        return found;
    }

private:
    static constexpr std::size_t Slots = 512;
    static std::size_t Hash(std::string_view s) {
        std::uint32_t h = 2166136261u;
        for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
        return h ^ (h >> 15);
    }
    std::array<short, Slots> slots_;
    std::array<short, RegisterCount> next_;
    int guess_ = 0, last_ = 0;
};

// One command's effect, kept until the whole line has read.
struct Action {
    bool clock;     // a clock value, else a keyframe
    int reg;        // catalogue index of a keyframe, -1 for a name not in it
    double number;  // the time, or the value
};

class Reader {
public:
    Reader(HapTimeline& timeline, std::size_t totalBytes)
        : timeline_(timeline), totalBytes_(totalBytes) {}

    // One line without its line end; `offset` is where it starts in the input.
    void ReadLine(const char* b, const char* e, std::size_t offset) {
        while (b != e && IsBlank(*b)) ++b;
        while (e != b && IsBlank(e[-1])) --e;
        if (b != e && *b == '"') {
            ++b;
            while (b != e && IsBlank(*b)) ++b;
        }
        if (b != e && e[-1] == '"') {
            --e;
            while (e != b && IsBlank(e[-1])) --e;
        }
        if (b == e || *b == '#') return;
        if (!ParseCommands(b, e)) {
            ++timeline_.linesSkipped;
            return;
        }
        if (actions_.empty()) {
            ++timeline_.linesSkipped;
            return;
        }
        ++timeline_.linesRead;
        for (const Action& a : actions_) {
            if (a.clock) {
                SetClock(a.number);
            } else if (a.reg >= 0) {
                Push(timeline_.tracks[a.reg], static_cast<float>(a.number), offset);
            }
        }
    }

    // The line at p when it is a register line exactly as the generator writes
    // it (a figure, if any, of one word), ended by CR LF, LF, CR or the end of
    // the input: reads it and returns where the next line starts. Null for any
    // other line, which then goes through ReadLine.
    const char* ReadGeneratedLine(const char* p, const char* end, std::size_t offset) {
        if (!StartsWith(p, end, "\\clock [t= ")) return nullptr;
        double time, value;
        p = ScanPlainNumber(p + 11, end, time);
        if (!p || !StartsWith(p, end, "]   \\setreg[")) return nullptr;
        p += 12;
        if (StartsWith(p, end, "figure= ")) {
            const char* figure = p += 8;
            while (p != end && IsPlainNameChar(*p)) ++p;
            if (p == figure || p == end || *p++ != ' ') return nullptr;
        }
        if (!StartsWith(p, end, "name= ")) return nullptr;
        const char* name = p += 6;
        while (p != end && IsPlainNameChar(*p)) ++p;
        const std::string_view registerName(name, p - name);
        if (registerName.empty() || !StartsWith(p, end, "   f0= ")) return nullptr;
        p = ScanPlainNumber(p + 7, end, value);
        if (!p || p == end || *p++ != ']') return nullptr;
        if (p != end) {
            if (*p == '\r') {
                ++p;
                if (p != end && *p == '\n') ++p;
            } else if (*p == '\n') {
                ++p;
            } else {
                return nullptr;
            }
        }
        ++timeline_.linesRead;
        SetClock(time);
        const int reg = names_.Find(registerName);
        if (reg >= 0) Push(timeline_.tracks[reg], static_cast<float>(value), offset);
        return p;
    }

    // The line at p when it holds only clock and register commands, each as
    // "\\clock [t= T]" or "\\setreg[figure= F name= N f0= V]" (figure
    // optional) with any blanks where blanks may stand, inside a quoted
    // record's edges or not: reads it as ReadLine would and returns where the
    // next line starts. Null for anything else (another command, other
    // arguments, a number in another form), which then goes through ReadLine.
    const char* ReadSpacedLine(const char* const start, const char* end, std::size_t offset) {
        const char* p = SkipBlanks(start, end);
        if (p != end && *p == '"') p = SkipBlanks(p + 1, end);
        // The usual line, a clock and one register, straight through.
        double time, value;
        std::string_view name;
        if (StartsWith(p, end, "\\clock") && (p = ClockArguments(p + 6, end, time)) &&
            StartsWith(p = SkipBlanks(p, end), end, "\\setreg") && (p = SetRegArguments(p + 7, end, name, value))) {
            p = LineEnd(SkipBlanks(p, end), end);
            if (p) {
                ++timeline_.linesRead;
                SetClock(time);
                const int reg = names_.Find(name);
                if (reg >= 0) Push(timeline_.tracks[reg], static_cast<float>(value), offset);
                return p;
            }
        }
        // Any other sequence of clock and register commands.
        p = SkipBlanks(start, end);
        if (p != end && *p == '"') p = SkipBlanks(p + 1, end);
        struct Step {
            int reg;  // -2 for a clock value
            double number;
        };
        std::array<Step, 8> steps;
        std::size_t count = 0;
        while (p != end && *p == '\\') {
            if (count == steps.size()) return nullptr;
            if (StartsWith(p, end, "\\clock")) {
                if (!(p = ClockArguments(p + 6, end, time))) return nullptr;
                steps[count++] = {-2, time};
            } else if (StartsWith(p, end, "\\setreg")) {
                if (!(p = SetRegArguments(p + 7, end, name, value))) return nullptr;
                steps[count++] = {names_.Find(name), value};
            } else {
                return nullptr;
            }
            p = SkipBlanks(p, end);
        }
        if (count == 0 || !(p = LineEnd(p, end))) return nullptr;
        ++timeline_.linesRead;
        for (std::size_t i = 0; i < count; ++i) {
            if (steps[i].reg == -2) SetClock(steps[i].number);
            else if (steps[i].reg >= 0) Push(timeline_.tracks[steps[i].reg], static_cast<float>(steps[i].number), offset);
        }
        return p;
    }

private:
    void SetClock(double time) {
        clock_ = time;
        if (!timeline_.hasClock) timeline_.firstTime = time;
        timeline_.hasClock = true;
        timeline_.lastTime = time;
    }

    // The line as commands "\word [arguments]" with blanks between; fills actions_.
    bool ParseCommands(const char* p, const char* e) {
        actions_.clear();
        while (true) {
            while (p != e && IsBlank(*p)) ++p;
            if (p == e) return true;
            if (*p != '\\') return false;
            const char* word = ++p;
            while (p != e && IsWordChar(*p)) ++p;
            const std::string_view name(word, p - word);
            if (name.empty()) return false;
            while (p != e && IsBlank(*p)) ++p;
            if (p == e || *p != '[') return false;
            const char* args = ++p;
            std::size_t depth = 1;
            for (; p != e; ++p) {
                if (*p == '[') {
                    ++depth;
                } else if (*p == ']' && --depth == 0) {
                    break;
                }
            }
            if (p == e) return false;
            const std::string_view arguments(args, p - args);
            ++p;
            if (EqualsNoCase(name, "clock")) {
                if (!ReadClock(arguments)) return false;
            } else if (EqualsNoCase(name, "setreg")) {
                if (!ReadSetReg(arguments)) return false;
            }
        }
    }

    // Calls f(key, value) for each "key= value" (or "key=value") of the
    // arguments. A key with nothing after it, or followed by another key, has an
    // empty value; words that follow no key are passed over.
    template <class F>
    static void ForEachArgument(std::string_view args, F f) {
        const char* p = args.data();
        const char* e = p + args.size();
        auto token = [&]() {
            while (p != e && IsBlank(*p)) ++p;
            const char* t = p;
            while (p != e && !IsBlank(*p)) ++p;
            return std::string_view(t, p - t);
        };
        std::string_view t = token();
        while (!t.empty()) {
            const std::size_t eq = t.find('=');
            if (eq == std::string_view::npos) {
                t = token();
                continue;
            }
            const std::string_view key = t.substr(0, eq);
            std::string_view value = t.substr(eq + 1);
            t = token();
            if (value.empty() && !t.empty() && t.back() != '=') {
                value = t;
                t = token();
            }
            f(key, value);
        }
    }

    bool ReadClock(std::string_view args) {
        std::string_view time;
        bool found = false;
        ForEachArgument(args, [&](std::string_view key, std::string_view value) {
            if (EqualsNoCase(key, "t")) {
                time = value;
                found = true;
            }
        });
        double t;
        if (!found || !ReadNumber(time, t)) return false;
        actions_.push_back({true, -1, t});
        return true;
    }

    bool ReadSetReg(std::string_view args) {
        std::string_view name, value;
        bool hasName = false, hasValue = false;
        ForEachArgument(args, [&](std::string_view key, std::string_view v) {
            if (EqualsNoCase(key, "name")) {
                name = v;
                hasName = true;
            } else if (EqualsNoCase(key, "f0")) {
                value = v;
                hasValue = true;
            }
        });
        double v;
        if (!hasName || !hasValue || name.empty() || !ReadNumber(value, v)) return false;
        if (!(std::fabs(v) <= std::numeric_limits<float>::max())) return false;
        actions_.push_back({false, names_.Find(name), v});
        return true;
    }

    // Appends a keyframe at the current clock. Room grows geometrically, by an
    // estimate of the track's final size from the share of the input read so
    // far, so a track of an evenly written file ends close to its size.
    void Push(RegisterTrack& track, float value, std::size_t offset) {
        const std::size_t n = track.times.size();
        if (n == track.times.capacity()) {
            const double share = static_cast<double>(offset + 1) / static_cast<double>(totalBytes_ + 1);
            const double estimate = static_cast<double>(n + 1) / share * 1.03 + 16;
            const std::size_t low = n + n / 8 + 16, high = 2 * n + 16;
            const std::size_t room = estimate < static_cast<double>(low)    ? low
                                     : estimate > static_cast<double>(high) ? high
                                                                            : static_cast<std::size_t>(estimate);
            track.times.reserve(room);
            track.values.reserve(room);
        }
        track.times.push_back(clock_);
        track.values.push_back(value);
    }

    HapTimeline& timeline_;
    std::size_t totalBytes_;
    double clock_ = 0;
    NameIndex names_;
    std::vector<Action> actions_;
};

// Puts a track's keyframes in ascending time, equal times in file order.
void SortTrack(RegisterTrack& track) {
    auto& times = track.times;
    if (std::is_sorted(times.begin(), times.end())) return;
    std::vector<std::size_t> order(times.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });
    RegisterTrack sorted;
    sorted.times.reserve(order.size());
    sorted.values.reserve(order.size());
    for (std::size_t i : order) {
        sorted.times.push_back(times[i]);
        sorted.values.push_back(track.values[i]);
    }
    track = std::move(sorted);
}

}  // namespace

namespace {

// Reads every line; `quickLanes` tries the generator's line forms first, and a
// set `stop` ends the read early (checked every 4096 lines).
HapTimeline Read(std::string_view bytes, bool quickLanes, const std::atomic<bool>* stop) {
    HapTimeline timeline;
    std::size_t lines = 0;
    Reader reader(timeline, bytes.size());
    const char* const begin = bytes.data();
    const char* const end = begin + bytes.size();
    const char* p = begin;
    while (p != end) {
        if (stop && (++lines & 0xFFF) == 0 && stop->load(std::memory_order_relaxed)) break;
        if (quickLanes && *p == '\\') {
            const char* next = reader.ReadGeneratedLine(p, end, static_cast<std::size_t>(p - begin));
            if (next) {
                p = next;
                continue;
            }
        }
        if (quickLanes && (*p == '\\' || *p == ' ' || *p == '\t' || *p == '"')) {
            const char* next = reader.ReadSpacedLine(p, end, static_cast<std::size_t>(p - begin));
            if (next) {
                p = next;
                continue;
            }
        }
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
        const char* lineEnd = lf ? lf : end;
        // A lone CR ends a line as well.
        const char* s = p;
        while (true) {
            const char* cr = static_cast<const char*>(std::memchr(s, '\r', lineEnd - s));
            const char* segmentEnd = cr ? cr : lineEnd;
            if (segmentEnd != s) reader.ReadLine(s, segmentEnd, static_cast<std::size_t>(s - begin));
            if (!cr) break;
            s = cr + 1;
        }
        p = lf ? lf + 1 : end;
    }
    for (RegisterTrack& track : timeline.tracks) SortTrack(track);
    return timeline;
}

}  // namespace

HapTimeline ReadHapScript(std::string_view bytes) { return Read(bytes, true, nullptr); }

HapTimeline ReadHapScript(std::string_view bytes, const std::atomic<bool>* stop) {
    return Read(bytes, true, stop);
}

HapTimeline ReadHapScriptLineByLine(std::string_view bytes) { return Read(bytes, false, nullptr); }

std::optional<float> SampleTrack(const RegisterTrack& track, double t) {
    const std::size_t n = std::min(track.times.size(), track.values.size());
    if (n == 0) return std::nullopt;
    const auto first = track.times.begin();
    const auto after = std::upper_bound(first, first + static_cast<std::ptrdiff_t>(n), t);
    if (after == first) return track.values[0];
    return track.values[static_cast<std::size_t>(after - first) - 1];
}

}  // namespace tw
