// How fast blocks are generated and written, against the same work done the
// plain way (snprintf per line into a growing string, then an ofstream).
//
//   Block30s_*   30 seconds at 10 frames per second, all 105 registers moving
//   Block10min_* 10 minutes at 30 frames per second, all moving, plus writing
//                the quoted record to a file (removed again between iterations)
//   Append10min_* only the write of the 10-minute block (about 120 MB) to a
//                file: ours, which waits for fdatasync, against an ofstream
//                append without and with an fdatasync after it (medians of 5)
// The argument is the acceleration (0: linear curve, 15: accelerating curve).
// After the runs: the fast/plain speed ratios and the peak memory of one
// 10-minute run, measured in a child process so the runs do not mix.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "document/RegisterCatalogue.h"
#include "generation/Generation.h"
#include "generation/ScriptFile.h"

namespace fs = std::filesystem;

namespace {

std::string Text(double value) {
    char buffer[64];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

tw::DocumentTexts MovingInput(double seconds, double fps, double acceleration) {
    tw::DocumentTexts input;
    input.dKeyframe = Text(seconds);
    input.framesPSec = Text(fps);
    input.startTime = Text(0);
    input.acceleration = Text(acceleration);
    input.fileHeader = "\\load [file= [bench.htr]]";
    for (int r = 0; r < tw::RegisterCount; ++r) {
        input.names[r] = std::string(tw::RegisterCatalogue()[r].name);
        input.initial[r] = Text(r * 0.01);
        input.final[r] = Text(1 - r * 0.013);
    }
    return input;
}

// The plain reference: strtod once per text, the curve worked out line by
// line, one snprintf per line appended to a string that grows as it goes.
std::string PlainBlock(const tw::DocumentTexts& input) {
    const double seconds = std::strtod(input.dKeyframe.c_str(), nullptr);
    const double fps = std::strtod(input.framesPSec.c_str(), nullptr);
    const double start = std::strtod(input.startTime.c_str(), nullptr);
    const double a = std::strtod(input.acceleration.c_str(), nullptr);
    const auto count = static_cast<float>(seconds * fps);
    const auto step = static_cast<float>(seconds / count);
    double initial[tw::RegisterCount], final[tw::RegisterCount];
    for (int r = 0; r < tw::RegisterCount; ++r) {
        initial[r] = std::strtod(input.initial[r].c_str(), nullptr);
        final[r] = std::strtod(input.final[r].c_str(), nullptr);
    }
    std::string block = input.fileHeader + "\r\n\r\n";
    char line[512];
    for (float t = 0; t < count + 1.0f; t += 1) {
        const double time = start + static_cast<double>(t * step);
        for (int r = 0; r < tw::RegisterCount; ++r) {
            if (t != 0 && input.initial[r] == input.final[r]) continue;
            const double i = initial[r], f = final[r];
            double v;
            if (a > 0) {
                v = i + (f - i) * (t / count) * std::exp(a * (t - count) / 100);
            } else if (a < 0) {
                v = i + (f - i) * (1 - (1 - t / count) * std::exp(a * t / 100));
                if ((f > i && v > f) || (f < i && v < f)) v = f;
            } else {
                v = i + t * static_cast<double>(static_cast<float>((f - i) / count));
            }
            std::snprintf(line, sizeof line, "\\clock [t= %.3f]   \\setreg[name= %s   f0= %.3f]\r\n", time,
                          input.names[r].c_str(), static_cast<double>(static_cast<float>(v)));
            block += line;
        }
    }
    return block;
}

void PlainAppend(const fs::path& path, const std::string& block) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << '"' << block << "\"\r\n";
}

fs::path MakeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "tw-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
}

void BM_Block30s_Fast(benchmark::State& state) {
    const tw::DocumentTexts input = MovingInput(30, 10, static_cast<double>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto result = tw::GenerateBlock(input);
        if (!result) {
            state.SkipWithError(result.error().c_str());
            break;
        }
        bytes = result.value().text.size();
        benchmark::DoNotOptimize(result.value().text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["block_MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_Block30s_Plain(benchmark::State& state) {
    const tw::DocumentTexts input = MovingInput(30, 10, static_cast<double>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string block = PlainBlock(input);
        bytes = block.size();
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["block_MB"] = static_cast<double>(bytes) / 1e6;
}

// Times rounds that each write one 10-minute block to a fresh file. One
// untimed round first: on this virtual machine the first touch of memory the
// process has not used before costs several times what it does later.
// `round` returns the block's size, or an error text.
template <class Round>
void TimeFileRounds(benchmark::State& state, Round round) {
    const fs::path folder = MakeTempFolder();
    const fs::path file = folder / "bench.hap";
    std::size_t bytes = 0;
    std::string failure;
    round(file, bytes, failure);
    fs::remove(file);
    for (auto _ : state) {
        round(file, bytes, failure);
        // Each round leaves exactly one quoted record of the block.
        if (failure.empty() && fs::file_size(file) != bytes + 4) failure = "the file is not one record of the block";
        if (!failure.empty()) {
            state.SkipWithError(failure.c_str());
            break;
        }
        state.PauseTiming();
        fs::remove(file);
        state.ResumeTiming();
    }
    fs::remove_all(folder);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["block_MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_Block10min_Fast(benchmark::State& state) {
    const tw::DocumentTexts input = MovingInput(600, 30, static_cast<double>(state.range(0)));
    // As in the program, each run writes into the memory of the last block.
    std::string spare;
    TimeFileRounds(state, [&](const fs::path& file, std::size_t& bytes, std::string& failure) {
        auto result = tw::GenerateBlock(input, {}, std::move(spare));
        const tw::Outcome<void> written =
            result ? tw::AppendQuotedRecord(file, result.value().text) : tw::Outcome<void>::Failure(result.error());
        if (!written) failure = written.error();
        bytes = result ? result.value().text.size() : 0;
        if (result) spare = std::move(result.value().text);
    });
}

void BM_Block10min_Plain(benchmark::State& state) {
    const tw::DocumentTexts input = MovingInput(600, 30, static_cast<double>(state.range(0)));
    TimeFileRounds(state, [&](const fs::path& file, std::size_t& bytes, std::string&) {
        const std::string block = PlainBlock(input);
        PlainAppend(file, block);
        bytes = block.size();
    });
}

// The 10-minute block, generated once.
const std::string& TenMinuteBlock() {
    static const std::string block = [] {
        auto result = tw::GenerateBlock(MovingInput(600, 30, 0));
        return result ? std::move(result.value().text) : std::string();
    }();
    return block;
}

void BM_Append10min_Fast(benchmark::State& state) {
    TimeFileRounds(state, [](const fs::path& file, std::size_t& bytes, std::string& failure) {
        const tw::Outcome<void> written = tw::AppendQuotedRecord(file, TenMinuteBlock());
        if (!written) failure = written.error();
        bytes = TenMinuteBlock().size();
    });
}

void BM_Append10min_Plain(benchmark::State& state) {
    TimeFileRounds(state, [](const fs::path& file, std::size_t& bytes, std::string&) {
        PlainAppend(file, TenMinuteBlock());
        bytes = TenMinuteBlock().size();
    });
}

void BM_Append10min_PlainSynced(benchmark::State& state) {
    TimeFileRounds(state, [](const fs::path& file, std::size_t& bytes, std::string& failure) {
        PlainAppend(file, TenMinuteBlock());
        const int fd = ::open(file.c_str(), O_WRONLY);
        if (fd < 0 || ::fdatasync(fd) != 0) failure = "fdatasync failed";
        if (fd >= 0) ::close(fd);
        bytes = TenMinuteBlock().size();
    });
}

BENCHMARK(BM_Block30s_Fast)->Arg(0)->Arg(15)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Block30s_Plain)->Arg(0)->Arg(15)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Block10min_Fast)->Arg(0)->Arg(15)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Block10min_Plain)->Arg(0)->Arg(15)->Iterations(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Append10min_Fast)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Append10min_Plain)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Append10min_PlainSynced)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMillisecond);

// Keeps each run's speed so the fast and plain ones can be compared at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            // Of repeated runs, only the median counts.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type != Run::RT_Iteration && !median) continue;
            const auto rate = run.counters.find("bytes_per_second");
            if (rate == run.counters.end()) continue;
            speeds_[median ? run.run_name.function_name : PairName(run.benchmark_name())] = rate->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const {
        for (const auto& [name, fast] : speeds_) {
            const auto at = name.find("_Fast");
            if (at == std::string::npos) continue;
            std::string plainName = name;
            plainName.replace(at, 5, "_Plain");
            const auto plain = speeds_.find(plainName);
            if (plain == speeds_.end()) continue;
            std::printf("%-32s %8.1f MB/s  plain %7.1f MB/s  fast/plain %.1fx\n", name.c_str(), fast / 1e6,
                        plain->second / 1e6, fast / plain->second);
        }
        const auto unsynced = speeds_.find("BM_Append10min_Plain");
        const auto synced = speeds_.find("BM_Append10min_PlainSynced");
        const auto ours = speeds_.find("BM_Append10min_Fast");
        if (unsynced == speeds_.end() || synced == speeds_.end() || ours == speeds_.end()) return;
        const double megabytes = static_cast<double>(TenMinuteBlock().size() + 4) / 1e6;
        const auto ms = [&](double speed) { return megabytes * 1e6 / speed * 1e3; };
        std::printf("\nAppending the %.1f MB block, medians: plain without fdatasync %.0f ms, plain with it %.0f ms "
                    "(%.1fx), ours with it %.0f ms (%.2fx the plain one with it)\n",
                    megabytes, ms(unsynced->second), ms(synced->second), unsynced->second / synced->second,
                    ms(ours->second), synced->second / ours->second);
    }

private:
    // The fast and plain runs differ in their iteration counts: leave those out.
    static std::string PairName(std::string name) {
        const auto at = name.find("/iterations:");
        if (at != std::string::npos) name.erase(at, name.find('/', at + 1) - at);
        return name;
    }

    std::map<std::string, double> speeds_;
};

struct Peak {
    long maxResidentKiB = 0;
    std::size_t blockBytes = 0;
};

// One 10-minute run with its file write in a child process; the child's own
// peak resident size is what the kernel reports for it.
Peak MeasurePeak(bool fast) {
    int channel[2];
    if (::pipe(channel) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const fs::path folder = MakeTempFolder();
        const tw::DocumentTexts input = MovingInput(600, 30, 0);
        std::size_t bytes = 0;
        if (fast) {
            auto result = tw::GenerateBlock(input);
            if (result && tw::AppendQuotedRecord(folder / "peak.hap", result.value().text)) {
                bytes = result.value().text.size();
            }
        } else {
            const std::string block = PlainBlock(input);
            PlainAppend(folder / "peak.hap", block);
            bytes = block.size();
        }
        fs::remove_all(folder);
        const ssize_t sent = ::write(channel[1], &bytes, sizeof bytes);
        ::_exit(sent == sizeof bytes ? 0 : 1);
    }
    ::close(channel[1]);
    Peak peak;
    if (::read(channel[0], &peak.blockBytes, sizeof peak.blockBytes) != sizeof peak.blockBytes) peak.blockBytes = 0;
    ::close(channel[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    peak.maxResidentKiB = usage.ru_maxrss;
    return peak;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    // Before any benchmark has touched memory, so the children start small.
    const Peak fastPeak = MeasurePeak(true);
    const Peak plainPeak = MeasurePeak(false);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nSpeed, fast against plain:\n");
    reporter.PrintRatios();

    std::printf("\nPeak memory of one 10-minute run with its file write:\n");
    for (const auto& [label, peak] : {std::pair{"fast", fastPeak}, std::pair{"plain", plainPeak}}) {
        const double block = static_cast<double>(peak.blockBytes) / 1e6;
        const double resident = static_cast<double>(peak.maxResidentKiB) * 1024 / 1e6;
        std::printf("  %-5s block %.1f MB, peak resident %.1f MB (%.2fx the block)\n", label, block, resident,
                    block > 0 ? resident / block : 0.0);
    }
    benchmark::Shutdown();
    return 0;
}
