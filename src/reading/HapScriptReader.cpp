#include "reading/HapScriptReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>

#include "document/AsciiCase.h"
#include "reading/SameBytes.h"

namespace tw {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

constexpr double Pow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Whether p has a byte to read before end. The scanners below take
// Checked = false only where a line end ('\n') is known to lie at or after p
// within the input: every scan stops at a line end, so none passes it, and
// the test is left out of their inner loops.
template <bool Checked>
bool More(const char* p, const char* end) {
    return !Checked || p != end;
}

// The number at p in the plain form "-123.456" (up to 15 digits, no exponent),
// stopping at the first other character: its end, or null when there is no
// such number.
template <bool Checked = true>
const char* ScanPlainNumber(const char* p, const char* end, double& out) {
    const bool negative = More<Checked>(p, end) && *p == '-';
    p += negative;
    std::uint64_t digits = 0;
    const char* const whole = p;
    for (unsigned d; More<Checked>(p, end) && (d = static_cast<unsigned char>(*p) - '0') < 10; ++p)
        digits = digits * 10 + d;
    std::ptrdiff_t count = p - whole, decimals = 0;
    if (More<Checked>(p, end) && *p == '.') {
        const char* const fraction = ++p;
        for (unsigned d; More<Checked>(p, end) && (d = static_cast<unsigned char>(*p) - '0') < 10; ++p)
            digits = digits * 10 + d;
        decimals = p - fraction;
        count += decimals;
    }
    // Past 15 digits the sum above may have wrapped; such numbers are not plain.
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
constexpr auto PlainNameChars = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = c != ' ' && c != '\t' && c != '[' && c != ']' && c != '=' && c != '\r' && c != '\n';
    return table;
}();
bool IsPlainNameChar(char c) { return PlainNameChars[static_cast<unsigned char>(c)]; }

// A character that would carry a plain number on: a digit or the period.
bool IsNumberChar(char c) { return static_cast<unsigned>(c - '0') < 10 || c == '.'; }

template <bool Checked = true>
const char* SkipBlanks(const char* p, const char* end) {
    while (More<Checked>(p, end) && IsBlank(*p)) ++p;
    return p;
}

// Whether the bytes at p begin with the literal `text`; its length is known
// here, so the comparison compiles to a few word compares, not a call.
template <std::size_t N>
bool StartsWith(const char* p, const char* end, const char (&text)[N]) {
    return static_cast<std::size_t>(end - p) >= N - 1 && std::memcmp(p, text, N - 1) == 0;
}


// At the end of a line's commands: a quoted record's closing mark with
// blanks after it, if any, then the line end; where the next line starts,
// or null when anything else follows.
template <bool Checked = true>
const char* LineEnd(const char* p, const char* end) {
    if (More<Checked>(p, end) && *p == '"') p = SkipBlanks<Checked>(p + 1, end);
    if (!More<Checked>(p, end)) return p;
    if (*p == '\n') return p + 1;
    if (*p != '\r') return nullptr;
    ++p;
    return More<Checked>(p, end) && *p == '\n' ? p + 1 : p;
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

    // The name at p (plain name characters up to the first other one) and its
    // catalogue index, -1 when it is not in the catalogue; p moves past it.
    // The guess is tried on the bytes first, so the usual name is not scanned.
    template <bool Checked>
    int Take(const char*& p, const char* end, std::string_view& name) {
        const std::string_view guess = catalogue_[guess_].name;
        if (static_cast<std::size_t>(end - p) > guess.size() && !IsPlainNameChar(p[guess.size()]) &&
            SameBytes(p, guess.data(), guess.size())) {
            name = std::string_view(p, guess.size());
            p += guess.size();
            return Found(guess_);
        }
        const char* word = p;
        while (More<Checked>(p, end) && IsPlainNameChar(*p)) ++p;
        name = std::string_view(word, p - word);
        return Find(name);
    }

    // -1 for a name not in the catalogue.
    int Find(std::string_view name) {
        const auto& catalogue = catalogue_;
        int found = -1;
        if (SameText(catalogue[guess_].name, name)) {
            found = guess_;
        } else {
            for (std::size_t s = Hash(name) & (Slots - 1); slots_[s] >= 0; s = (s + 1) & (Slots - 1))
                if (SameText(catalogue[slots_[s]].name, name)) {
                    found = slots_[s];
                    break;
                }
            if (found < 0) return -1;
            next_[last_] = static_cast<short>(found);
        }
        return Found(found);
    }

private:
    // Learns that `found` followed the last name found.
    int Found(int found) {
        last_ = found;
        guess_ = next_[found];
        return found;
    }

    const std::array<RegisterInfo, RegisterCount>& catalogue_ = RegisterCatalogue();
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

    // The line at p when it is the usual register line, "\\clock [t= T]"
    // then "\\setreg[figure= F name= N f0= V]" (figure optional) with any
    // blanks where blanks may stand, inside a quoted record's edges or not:
    // reads it as ReadLine would and returns where the next line starts. Null
    // for anything else, which then goes through ReadCommandsLine.
    template <bool Checked>
    const char* ReadUsualLine(const char* p, const char* end, std::size_t offset) {
        p = SkipBlanks<Checked>(p, end);
        if (More<Checked>(p, end) && *p == '"') p = SkipBlanks<Checked>(p + 1, end);
        double time, value;
        std::string_view timeText;
        int reg;
        if (!StartsWith(p, end, "\\clock") || !(p = ClockArguments<Checked>(p + 6, end, time, timeText)) ||
            !StartsWith(p = SkipBlanks<Checked>(p, end), end, "\\setreg") || !(p = SetRegArguments<Checked>(p + 7, end, reg, value)) ||
            !(p = LineEnd<Checked>(SkipBlanks<Checked>(p, end), end)))
            return nullptr;
        ++timeline_.linesRead;
        SetClock(time);
        timeText_ = timeText;
        if (reg >= 0) Push(timeline_.tracks[reg], static_cast<float>(value), offset);
        return p;
    }

    // The line at p when it holds only clock and register commands, each as
    // "\\clock [t= T]" or "\\setreg[figure= F name= N f0= V]" (figure
    // optional) with any blanks where blanks may stand, inside a quoted
    // record's edges or not: reads it as ReadLine would and returns where the
    // next line starts. Null for anything else (another command, other
    // arguments, a number in another form), which then goes through ReadLine.
    const char* ReadCommandsLine(const char* const start, const char* end, std::size_t offset) {
        const char* p = SkipBlanks(start, end);
        if (p != end && *p == '"') p = SkipBlanks(p + 1, end);
        double time, value;
        std::string_view timeText;
        int reg;
        struct Step {
            int reg;  // -2 for a clock value
            double number;
        };
        std::array<Step, 8> steps;
        std::size_t count = 0;
        while (p != end && *p == '\\') {
            if (count == steps.size()) return nullptr;
            if (StartsWith(p, end, "\\clock")) {
                if (!(p = ClockArguments<true>(p + 6, end, time, timeText))) return nullptr;
                steps[count++] = {-2, time};
            } else if (StartsWith(p, end, "\\setreg")) {
                if (!(p = SetRegArguments<true>(p + 7, end, reg, value))) return nullptr;
                steps[count++] = {reg, value};
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
    // After a command word "clock": " [t= T]" with any blanks where blanks
    // may stand; the end of it, or null. `text` is the time's text.
    //
    // A block's lines share their time for all registers of a frame, so a
    // time whose text repeats the one the clock was last read from is taken
    // on its bytes, not read again.
    template <bool Checked>
    const char* ClockArguments(const char* p, const char* end, double& time, std::string_view& text) const {
        p = SkipBlanks<Checked>(p, end);
        if (!More<Checked>(p, end) || *p != '[') return nullptr;
        p = SkipBlanks<Checked>(p + 1, end);
        if (!StartsWith(p, end, "t=")) return nullptr;
        p = SkipBlanks<Checked>(p + 2, end);
        const std::size_t n = timeText_.size();
        if (n != 0 && static_cast<std::size_t>(end - p) > n && !IsNumberChar(p[n]) &&
            SameBytes(p, timeText_.data(), n)) {
            time = clock_;
            text = timeText_;
            p += n;
        } else {
            const char* number = p;
            if (!(p = ScanPlainNumber<Checked>(p, end, time))) return nullptr;
            text = std::string_view(number, p - number);
        }
        p = SkipBlanks<Checked>(p, end);
        return More<Checked>(p, end) && *p == ']' ? p + 1 : nullptr;
    }

    // After a command word "setreg": "[figure= F name= N f0= V]" (figure
    // optional) with any blanks where blanks may stand; the end of it, or
    // null. `reg` is the name's catalogue index, -1 when it is not there.
    template <bool Checked>
    const char* SetRegArguments(const char* p, const char* end, int& reg, double& value) {
        p = SkipBlanks<Checked>(p, end);
        if (!More<Checked>(p, end) || *p != '[') return nullptr;
        p = SkipBlanks<Checked>(p + 1, end);
        if (StartsWith(p, end, "figure=")) {
            const char* figure = p = SkipBlanks<Checked>(p + 7, end);
            while (More<Checked>(p, end) && IsPlainNameChar(*p)) ++p;
            if (p == figure || !More<Checked>(p, end) || !IsBlank(*p)) return nullptr;
            p = SkipBlanks<Checked>(p, end);
        }
        if (!StartsWith(p, end, "name=")) return nullptr;
        p = SkipBlanks<Checked>(p + 5, end);
        std::string_view name;
        reg = names_.Take<Checked>(p, end, name);
        if (name.empty() || !More<Checked>(p, end) || !IsBlank(*p)) return nullptr;
        p = SkipBlanks<Checked>(p, end);
        if (!StartsWith(p, end, "f0=")) return nullptr;
        p = ScanPlainNumber<Checked>(SkipBlanks<Checked>(p + 3, end), end, value);
        if (!p) return nullptr;
        p = SkipBlanks<Checked>(p, end);
        return More<Checked>(p, end) && *p == ']' ? p + 1 : nullptr;
    }

    void SetClock(double time) {
        clock_ = time;
        timeText_ = {};
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
    std::string_view timeText_;  // the text clock_ was read from on the usual lane, if it was
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
    // The last line end in a window ahead of p: lines starting at or before it
    // are read without testing for the input's end at every byte.
    const char* knownLineEnd = nullptr;
    constexpr std::size_t Window = 64 * 1024;
    while (p != end) {
        if (stop && (++lines & 0xFFF) == 0 && stop->load(std::memory_order_relaxed)) break;
        if (quickLanes && (*p == '\\' || *p == ' ' || *p == '\t' || *p == '"')) {
            const std::size_t offset = static_cast<std::size_t>(p - begin);
            if (!knownLineEnd || p > knownLineEnd) {
                // A window without a line end holds part of one line, which
                // the reading below passes over whole: the search stays linear.
                const std::size_t span = std::min<std::size_t>(Window, end - p);
                knownLineEnd = static_cast<const char*>(::memrchr(p, '\n', span));
            }
            const char* next = knownLineEnd && p <= knownLineEnd ? reader.ReadUsualLine<false>(p, end, offset)
                                                                 : reader.ReadUsualLine<true>(p, end, offset);
            if (!next) next = reader.ReadCommandsLine(p, end, offset);
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
