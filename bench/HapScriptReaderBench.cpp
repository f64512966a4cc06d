// How fast a hap file is read into timelines, against the same work done the
// plain way (std::getline over an std::istringstream, one std::istringstream
// per number).
//
// The file is one quoted record written by the generator: 10 minutes at 30
// frames per second, all 105 registers moving (about 120 MB), held in memory.
// Before the runs both readers' timelines are compared; after them come the
// medians' ratio and the peak memory each reader takes beyond the file's
// bytes, counted by this program's own operator new.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <sstream>
#include <utility>
#include <string>

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

const std::string& HapFile() {
    static const std::string file = [] {
        tw::DocumentTexts doc;
        doc.fileHeader = std::string(tw::DefaultFileHeader);
        doc.dKeyframe = Text(600);
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
    }();
    return file;
}

// The plain reference: every line through std::getline, the numbers through
// std::istringstream, the name looked up in a std::map.
tw::HapTimeline PlainRead(const std::string& bytes) {
    static const std::map<std::string, int> index = [] {
        std::map<std::string, int> names;
        for (int r = 0; r < tw::RegisterCount; ++r) names[std::string(tw::RegisterCatalogue()[r].name)] = r;
        return names;
    }();
    tw::HapTimeline timeline;
    std::istringstream in(bytes);
    std::string line;
    double clock = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line.front() == '"') line.erase(0, 1);
        if (line.empty() || line.front() == '#') continue;
        const std::string clockStart = "\\clock [t= ";
        const auto close = line.find(']');
        const auto name = line.find("name= ");
        const auto value = line.find("f0= ");
        if (line.compare(0, clockStart.size(), clockStart) != 0 || close == std::string::npos ||
            name == std::string::npos || value == std::string::npos) {
            ++timeline.linesSkipped;
            continue;
        }
        std::istringstream timeText(line.substr(clockStart.size(), close - clockStart.size()));
        std::istringstream nameText(line.substr(name + 6));
        std::istringstream valueText(line.substr(value + 4));
        std::string registerName;
        double v = 0;
        if (!(timeText >> clock) || !(nameText >> registerName) || !(valueText >> v)) {
            ++timeline.linesSkipped;
            continue;
        }
        if (!timeline.hasClock) timeline.firstTime = clock;
        timeline.hasClock = true;
        timeline.lastTime = clock;
        ++timeline.linesRead;
        const auto found = index.find(registerName);
        if (found == index.end()) continue;
        timeline.tracks[found->second].times.push_back(clock);
        timeline.tracks[found->second].values.push_back(static_cast<float>(v));
    }
    return timeline;
}

bool SameTimelines(const tw::HapTimeline& a, const tw::HapTimeline& b) {
    for (int r = 0; r < tw::RegisterCount; ++r)
        if (a.tracks[r].times != b.tracks[r].times || a.tracks[r].values != b.tracks[r].values) return false;
    return a.hasClock == b.hasClock && a.firstTime == b.firstTime && a.lastTime == b.lastTime &&
           a.linesRead == b.linesRead && a.linesSkipped == b.linesSkipped;
}

template <class Read>
void TimeReads(benchmark::State& state, Read read) {
    const std::string& file = HapFile();
    benchmark::DoNotOptimize(read(file));  // first touch of the memory, untimed
    for (auto _ : state) {
        tw::HapTimeline timeline = read(file);
        benchmark::DoNotOptimize(timeline.tracks.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size()));
    state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
}

void BM_Read10min_Fast(benchmark::State& state) {
    TimeReads(state, [](const std::string& file) { return tw::ReadHapScript(file); });
}
void BM_Read10min_Plain(benchmark::State& state) { TimeReads(state, PlainRead); }

BENCHMARK(BM_Read10min_Fast)->Iterations(3)->Repetitions(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read10min_Plain)->Iterations(1)->Repetitions(5)->UseRealTime()->Unit(benchmark::kMillisecond);

// Keeps the medians' times so the fast and plain ones can be compared at the
// end, by the wall clock and by the process's CPU time (this machine is shared,
// and other work on it stretches the first).
class MedianReporter : public benchmark::ConsoleReporter {
public:
    struct Median {
        double realSeconds = 0, cpuSeconds = 0;
    };
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Aggregate || run.aggregate_name != "median")
                continue;
            Median& m = run.benchmark_name().find("_Fast") != std::string::npos ? fast : plain;
            const double unit = benchmark::GetTimeUnitMultiplier(run.time_unit);
            m.realSeconds = run.GetAdjustedRealTime() / unit;
            m.cpuSeconds = run.GetAdjustedCPUTime() / unit;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    Median fast, plain;
};

// The most heap the reader takes beyond what was in use before it (the file).
template <class Read>
double PeakBeyondFile(Read read) {
    const std::size_t before = heapNow;
    ResetPeak();
    {
        const tw::HapTimeline timeline = read(HapFile());
        benchmark::DoNotOptimize(timeline.tracks.data());
    }
    return static_cast<double>(heapPeak - before);
}

// The general path: the same file with other spacing than the generator's
// (one blank between the commands and between the arguments), so no line
// takes the generator's fast lane. Both readers must give the same
// timelines; reports the medians of five reads each.
int ReportGeneralPath() {
    std::string file;
    {
        const std::string& generated = HapFile();
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
    const tw::HapTimeline plain = PlainRead(file);
    const bool same = SameTimelines(fast, plain) && SameTimelines(fast, tw::ReadHapScript(HapFile()));
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
    const double plainSeconds = median(PlainRead);
    const double size = static_cast<double>(file.size());
    std::printf("\nGeneral path (other spacing), %.1f MB, timelines %s: fast %.1f MB/s, plain %.1f MB/s, "
                "fast/plain %.1fx (medians of 5, CPU time)\n",
                size / 1e6, same ? "the same" : "DIFFER", size / fastSeconds / 1e6, size / plainSeconds / 1e6,
                plainSeconds / fastSeconds);
    return same ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    const std::string& file = HapFile();
    const tw::HapTimeline fast = tw::ReadHapScript(file);
    const tw::HapTimeline plain = PlainRead(file);
    const bool same = SameTimelines(fast, plain);
    std::printf("File %.1f MB, %zu register lines; fast and plain timelines %s\n\n",
                static_cast<double>(file.size()) / 1e6, fast.linesRead, same ? "are the same" : "DIFFER");
    if (!same || fast.linesRead == 0) return 1;

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double size = static_cast<double>(file.size());
    const auto& [f, p] = std::pair{reporter.fast, reporter.plain};
    std::printf("\nMedian speed by the wall clock: fast %.1f MB/s, plain %.1f MB/s, fast/plain %.1fx\n",
                size / f.realSeconds / 1e6, size / p.realSeconds / 1e6, p.realSeconds / f.realSeconds);
    std::printf("Median speed by CPU time:       fast %.1f MB/s, plain %.1f MB/s, fast/plain %.1fx\n",
                size / f.cpuSeconds / 1e6, size / p.cpuSeconds / 1e6, p.cpuSeconds / f.cpuSeconds);

    const double fastPeak = PeakBeyondFile([](const std::string& f) { return tw::ReadHapScript(f); });
    const double plainPeak = PeakBeyondFile(PlainRead);
    std::printf("Peak heap beyond the file's bytes: fast %.1f MB (%.2fx the file), plain %.1f MB (%.2fx)\n",
                fastPeak / 1e6, fastPeak / size, plainPeak / 1e6, plainPeak / size);
    const int general = ReportGeneralPath();
    benchmark::Shutdown();
    return general;
}
