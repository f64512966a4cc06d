// How fast a hap file is read into timelines, against the same work done the
// ways a reader would write it: std::getline over the bytes with strtod for
// the numbers, and (slower still) one std::istringstream per number. The
// limit beside them: memchr over the same bytes, finding every line end and
// nothing else.
//
// The file is one quoted record written by the generator: 10 minutes at 30
// frames per second, all 105 registers moving (about 120 MB), held in memory.
// Every side reads the same bytes in memory; the sides run in turn, round
// after round, with the timelines' memory in one of two states on every side:
//   fresh  a first read: malloc maps every array of 64 KiB and more afresh and
//          returns it (and the heap's free top) to the system when freed
//   warm   a repeated read: malloc keeps freed memory and hands it out again
// Every side's timelines are compared with ours after the rounds; the program
// exits with 1 when they differ. Then the peak heap each reader takes beyond
// the file's bytes, counted by this program's own operator new.
//
// --quick (or TW_BENCH_QUICK=1): a 1-minute file, one round each.

#include <malloc.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <map>
#include <new>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>

#include "Rounds.h"
#include "generation/FileBlock.h"
#include "generation/HapScript.h"
#include "reading/HapScriptReader.h"

namespace {

// Heap bytes in use and the most in use since the last ResetPeak.
std::size_t heapNow = 0, heapPeak = 0;

void ResetPeak() { heapPeak = heapNow; }

}  // namespace

// These replace the global operator new and delete over malloc and free, which
// the compiler cannot see as a matching pair.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    heapNow += malloc_usable_size(p);
    heapPeak = std::max(heapPeak, heapNow);
    return p;
}
void operator delete(void* p) noexcept {
    if (!p) return;
    heapNow -= malloc_usable_size(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
#pragma GCC diagnostic pop

namespace {

std::string Text(double value) {
    char buffer[64];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

std::string MakeHapFile(double seconds) {
    tw::DocumentTexts doc;
    doc.fileHeader = std::string(tw::DefaultFileHeader);
    doc.dKeyframe = Text(seconds);
    doc.framesPSec = Text(30);
    doc.startTime = Text(0);
    doc.acceleration = Text(0);
    for (int r = 0; r < tw::RegisterCount; ++r) {
        doc.names[r] = std::string(tw::RegisterCatalogue()[r].name);
        doc.initial[r] = Text(r * 0.01);
        doc.final[r] = Text(1 - r * 0.013);
    }
    auto block = tw::BlockFor(tw::BlockDestination::File, doc);
    if (!block) std::abort();
    return tw::QuotedRecord(block.value().text);
}

const std::map<std::string, int, std::less<>>& NameIndex() {
    static const std::map<std::string, int, std::less<>> index = [] {
        std::map<std::string, int, std::less<>> names;
        for (int r = 0; r < tw::RegisterCount; ++r) names[std::string(tw::RegisterCatalogue()[r].name)] = r;
        return names;
    }();
    return index;
}

void AddKeyframe(tw::HapTimeline& timeline, double clock, std::string_view name, double value) {
    if (!timeline.hasClock) timeline.firstTime = clock;
    timeline.hasClock = true;
    timeline.lastTime = clock;
    ++timeline.linesRead;
    const auto& index = NameIndex();
    const auto found = index.find(name);
    if (found == index.end()) return;
    timeline.tracks[found->second].times.push_back(clock);
    timeline.tracks[found->second].values.push_back(static_cast<float>(value));
}

// A read-only stream over bytes already in memory, so getline reads them in
// place as ours does.
class MemoryBuffer : public std::streambuf {
public:
    explicit MemoryBuffer(const std::string& bytes) {
        char* start = const_cast<char*>(bytes.data());
        setg(start, start, start + bytes.size());
    }
};

// The line's edges as the file holds them: CR, the record's quotation marks.
void TrimLine(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '"') line.erase(0, 1);
    if (!line.empty() && line.back() == '"') line.pop_back();
}

constexpr std::string_view ClockStart = "\\clock [t= ";

// std::getline per line, strtod per number, the name up to the next blank.
tw::HapTimeline GetlineStrtodRead(const std::string& bytes) {
    tw::HapTimeline timeline;
    MemoryBuffer buffer(bytes);
    std::istream in(&buffer);
    std::string line;
    while (std::getline(in, line)) {
        TrimLine(line);
        if (line.empty() || line.front() == '#') continue;
        const auto name = line.find("name= ");
        const auto value = line.find("f0= ");
        if (line.compare(0, ClockStart.size(), ClockStart) != 0 || name == std::string::npos ||
            value == std::string::npos) {
            ++timeline.linesSkipped;
            continue;
        }
        char* end = nullptr;
        const double clock = std::strtod(line.c_str() + ClockStart.size(), &end);
        const bool clockRead = *end == ']';
        const double v = std::strtod(line.c_str() + value + 4, &end);
        const bool valueRead = *end == ']';
        const auto nameEnd = line.find(' ', name + 6);
        if (!clockRead || !valueRead || nameEnd == std::string::npos) {
            ++timeline.linesSkipped;
            continue;
        }
        AddKeyframe(timeline, clock, std::string_view(line).substr(name + 6, nameEnd - name - 6), v);
    }
    return timeline;
}

// std::getline per line over an istringstream of the bytes, and one more
// istringstream for each number and name.
tw::HapTimeline IstringstreamRead(const std::string& bytes) {
    tw::HapTimeline timeline;
    std::istringstream in(bytes);
    std::string line;
    double clock = 0;
    while (std::getline(in, line)) {
        TrimLine(line);
        if (line.empty() || line.front() == '#') continue;
        const auto close = line.find(']');
        const auto name = line.find("name= ");
        const auto value = line.find("f0= ");
        if (line.compare(0, ClockStart.size(), ClockStart) != 0 || close == std::string::npos ||
            name == std::string::npos || value == std::string::npos) {
            ++timeline.linesSkipped;
            continue;
        }
        std::istringstream timeText(line.substr(ClockStart.size(), close - ClockStart.size()));
        std::istringstream nameText(line.substr(name + 6));
        std::istringstream valueText(line.substr(value + 4));
        std::string registerName;
        double v = 0;
        if (!(timeText >> clock) || !(nameText >> registerName) || !(valueText >> v)) {
            ++timeline.linesSkipped;
            continue;
        }
        AddKeyframe(timeline, clock, registerName, v);
    }
    return timeline;
}

// The limit: every line end found, nothing read.
std::size_t CountLines(const std::string& bytes) {
    std::size_t lines = 0;
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr) {
        ++lines;
        ++p;
    }
    return lines;
}

bool SameTimelines(const tw::HapTimeline& a, const tw::HapTimeline& b) {
    for (int r = 0; r < tw::RegisterCount; ++r)
        if (a.tracks[r].times != b.tracks[r].times || a.tracks[r].values != b.tracks[r].values) return false;
    return a.hasClock == b.hasClock && a.firstTime == b.firstTime && a.lastTime == b.lastTime &&
           a.linesRead == b.linesRead && a.linesSkipped == b.linesSkipped;
}

// Every array of 64 KiB and more mapped afresh and unmapped when freed, and
// the heap given back above 128 KiB (fresh); or freed memory kept for the
// next read (warm: 32 MiB is the largest threshold malloc takes).
void SetMemoryState(bool fresh) {
    mallopt(M_MMAP_THRESHOLD, fresh ? 64 << 10 : 32 << 20);
    mallopt(M_TRIM_THRESHOLD, fresh ? 128 << 10 : 1 << 30);
    malloc_trim(0);
}

// The most heap the reader takes beyond what was in use before it (the file).
template <class Read>
double PeakBeyondFile(const std::string& file, Read read) {
    const std::size_t before = heapNow;
    ResetPeak();
    {
        const tw::HapTimeline timeline = read(file);
        bench::Keep(timeline.tracks.data());
    }
    return static_cast<double>(heapPeak - before);
}

// The general path: the same file with other spacing than the generator's
// (one blank between the commands and between the arguments), so no line
// takes the generator's fast lane. Both readers must give the same
// timelines; reports the medians of five reads each.
int ReportGeneralPath(const std::string& generated) {
    std::string file;
    {
        file.reserve(generated.size());
        for (std::size_t i = 0; i < generated.size();) {
            if (generated.compare(i, 4, "]   ") == 0 || generated.compare(i, 4, "   f") == 0) {
                file += generated[i] == ']' ? "] " : " f";
                i += 4;
            } else {
                file += generated[i++];
            }
        }
    }
    const tw::HapTimeline fast = tw::ReadHapScript(file);
    const tw::HapTimeline plain = GetlineStrtodRead(file);
    const bool same = SameTimelines(fast, plain) && SameTimelines(fast, tw::ReadHapScript(generated));
    // By the process's CPU time: the machine is shared, and other work on it
    // stretches the wall clock.
    auto median = [&file](auto read) {
        std::vector<double> seconds;
        for (int run = 0; run < 5; ++run) {
            const std::clock_t start = std::clock();
            const tw::HapTimeline timeline = read(file);
            benchmark::DoNotOptimize(timeline.tracks.data());
            seconds.push_back(static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
        }
        std::sort(seconds.begin(), seconds.end());
        return seconds[2];
    };
    const double fastSeconds = median([](const std::string& f) { return tw::ReadHapScript(f); });
    const double plainSeconds = median(GetlineStrtodRead);
    const double size = static_cast<double>(file.size());
    std::printf("\nGeneral path (other spacing), %.1f MB, timelines %s: fast %.1f MB/s, plain %.1f MB/s, "
                "fast/plain %.1fx (medians of 5, CPU time)\n",
                size / 1e6, same ? "the same" : "DIFFER", size / fastSeconds / 1e6, size / plainSeconds / 1e6,
                plainSeconds / fastSeconds);
    return same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::TakeQuickFlag(argc, argv);
    const int rounds = bench::RoundsFor(quick);
    const std::string file = MakeHapFile(quick ? 60 : 600);
    bool same = true;

    std::printf("Reading a %s hap file of %.1f MB from memory into timelines: medians of alternating rounds;\n"
                "a baseline's ratio is its time over ours, the limit's is our time over its.%s\n",
                quick ? "1-minute" : "10-minute", static_cast<double>(file.size()) / 1e6,
                quick ? " Short mode: one round each." : "");
    for (const bool fresh : {true, false}) {
        SetMemoryState(fresh);
        tw::HapTimeline ours, getlineStrtod, istringstream;
        std::size_t lines = 0;
        const std::vector<bench::Side> sides = {
            {"ours (ReadHapScript)", [&] { ours = tw::ReadHapScript(file); }, [&] { ours = {}; }},
            {"plain getline + strtod", [&] { getlineStrtod = GetlineStrtodRead(file); },
             [&] { getlineStrtod = {}; }},
            {"plain getline + istringstream per number", [&] { istringstream = IstringstreamRead(file); },
             [&] { istringstream = {}; }},
            {"limit: memchr over the bytes for line ends", [&] { lines = CountLines(file); }},
        };
        if (!fresh)  // a repeated read: each side once, untimed
            for (const bench::Side& side : sides) side.run();
        const bench::Times times = bench::Alternate(rounds, sides);
        bench::Report(fresh ? "First read, fresh memory" : "Repeated read, warm memory", rounds, sides,
                      {bench::Role::Ours, bench::Role::Baseline, bench::Role::Baseline, bench::Role::Limit}, times);
        const bool agree = ours.linesRead > 0 && SameTimelines(ours, getlineStrtod) &&
                           SameTimelines(ours, istringstream) && lines >= ours.linesRead;
        std::printf("  same result: %s (%zu register lines; timelines of all three readers compared)\n",
                    agree ? "yes" : "NO", ours.linesRead);
        same = same && agree;
    }

    const double size = static_cast<double>(file.size());
    const double oursPeak = PeakBeyondFile(file, [](const std::string& f) { return tw::ReadHapScript(f); });
    const double getlinePeak = PeakBeyondFile(file, GetlineStrtodRead);
    std::printf("\nPeak heap beyond the file's bytes: ours %.1f MB (%.2fx the file), getline + strtod %.1f MB "
                "(%.2fx)\n",
                oursPeak / 1e6, oursPeak / size, getlinePeak / 1e6, getlinePeak / size);
    same = ReportGeneralPath(file) == 0 && same;
    std::printf("\n%s\n", same ? "same result: yes, every comparison" : "same result: NO for at least one comparison");
    return same ? 0 : 1;
}
