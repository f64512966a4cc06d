// How fast the last block of a script file is loaded back, end to end (open,
// map, the byte searches, the texts), against the plain way: the same
// searches turn by turn over bytes fetched with std::ifstream::get one at a
// time (into a small window, so reading backwards does not seek per byte).
//
//   Load10min_*   one 10-minute block at 30 frames per second, all 105
//                 registers moving (about 120 MB), as the generator writes it
//   LoadSmall_*   500 short blocks appended one after another
// Each is repeated; the medians are compared. Both loads are checked to give
// the same texts first. After the runs: the peak memory of one load of the
// large file, and how much of the many-blocks file one load reads from disk.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "document/NumberText.h"
#include "generation/FileBlock.h"
#include "generation/ScriptFile.h"
#include "reading/FileBytes.h"
#include "reading/LastAnimationLoader.h"
#include "reading/LiteralLoader.h"

namespace fs = std::filesystem;

namespace {

using Names = std::array<std::string, tw::RegisterCount>;

Names Catalogue() {
    Names names;
    for (int r = 0; r < tw::RegisterCount; ++r) names[r] = std::string(tw::RegisterCatalogue()[r].name);
    return names;
}

tw::DocumentTexts Moving(double start, const char* seconds, const char* fps) {
    tw::DocumentTexts doc;
    doc.fileHeader = std::string(tw::DefaultFileHeader);
    doc.startTime = tw::DecimalText(start);
    doc.dKeyframe = std::string(seconds);
    doc.framesPSec = std::string(fps);
    doc.acceleration = std::string(1, '0');
    doc.names = Catalogue();
    for (int r = 0; r < tw::RegisterCount; ++r) {
        doc.initial[r] = tw::DecimalText(r * 0.01);
        doc.final[r] = tw::DecimalText(1 - r * 0.013);
    }
    return doc;
}

struct Files {
    fs::path folder, large, small;
};

const Files& TheFiles() {
    static const Files files = [] {
        std::string pattern = (fs::temp_directory_path() / "tw-loader-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        Files made{pattern, fs::path(pattern) / "large.hap", fs::path(pattern) / "small.hap"};
        auto append = [](const fs::path& file, const tw::DocumentTexts& doc) {
            auto block = tw::BlockFor(tw::BlockDestination::File, doc);
            if (!block || !tw::AppendQuotedRecord(file, block.value().text)) std::abort();
        };
        append(made.large, Moving(0, "600", "30"));
        for (int i = 0; i < 500; ++i) append(made.small, Moving(i * 0.5, "0.5", "10"));
        return made;
    }();
    return files;
}

// std::ifstream::get one byte at a time into a 4 KiB window around the
// position asked for: ahead of it when reading forward, behind it backward.
class StreamSource {
public:
    explicit StreamSource(const fs::path& path) : in_(path, std::ios::binary) {
        in_.seekg(0, std::ios::end);
        length_ = static_cast<std::size_t>(in_.tellg());
        in_.seekg(0);
    }
    std::size_t Length() const { return length_; }
    int At(std::size_t pos) {
        if (pos < 1 || pos > length_) return -1;
        if (pos < start_ || pos >= start_ + filled_) {
            const bool backward = pos < start_ && pos + Window > start_;
            Fill(backward && pos >= Window ? pos + 1 - Window : backward ? 1 : pos);
        }
        return static_cast<unsigned char>(window_[pos - start_]);
    }

private:
    static constexpr std::size_t Window = 4096;
    void Fill(std::size_t start) {
        if (start != next_) in_.seekg(static_cast<std::streamoff>(start - 1));
        filled_ = 0;
        while (filled_ < Window && start + filled_ <= length_) window_[filled_++] = static_cast<char>(in_.get());
        start_ = start;
        next_ = start + filled_;
    }

    std::ifstream in_;
    std::size_t length_ = 0;
    char window_[Window];
    std::size_t start_ = 0, filled_ = 0, next_ = 1;
};

tw::LoadedAnimation FastLoad(const fs::path& file, int& bar) {
    auto loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue(), [&](int v) { bar = v; });
    if (!loaded) std::abort();
    return std::move(loaded).value();
}

tw::LoadedAnimation PlainLoad(const fs::path& file, int& bar) {
    StreamSource source(file);
    const Names names = Catalogue();
    const tw::ProgressFn progress = [&](int v) { bar = v; };
    return tw::literal::Loader<StreamSource>(source, names, progress).Run();
}

template <class Load>
void TimeLoads(benchmark::State& state, const fs::path& file, Load load) {
    int bar = 0;
    load(file, bar);  // untimed: the file in the page cache, as after writing it
    for (auto _ : state) {
        tw::LoadedAnimation loaded = load(file, bar);
        benchmark::DoNotOptimize(loaded.startTime.data());
    }
    state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
}

void BM_Load10min_Fast(benchmark::State& state) { TimeLoads(state, TheFiles().large, FastLoad); }
void BM_Load10min_Plain(benchmark::State& state) { TimeLoads(state, TheFiles().large, PlainLoad); }
void BM_LoadSmall_Fast(benchmark::State& state) { TimeLoads(state, TheFiles().small, FastLoad); }
void BM_LoadSmall_Plain(benchmark::State& state) { TimeLoads(state, TheFiles().small, PlainLoad); }

BENCHMARK(BM_Load10min_Fast)->Iterations(1)->Repetitions(7)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load10min_Plain)->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadSmall_Fast)->Repetitions(7)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadSmall_Plain)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Keeps the median time of each benchmark for the fast/plain ratios.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.run_type != Run::RT_Aggregate || run.aggregate_name != "median") continue;
            std::string name = run.run_name.function_name;
            medians_[name] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatios() const {
        for (const auto& [name, fast] : medians_) {
            const auto at = name.find("_Fast");
            if (at == std::string::npos) continue;
            const auto plain = medians_.find(name.substr(0, at) + "_Plain");
            if (plain == medians_.end()) continue;
            std::printf("%-20s median %10.3f ms  plain %10.3f ms  plain/fast %.1fx\n", name.c_str(), fast * 1e3,
                        plain->second * 1e3, plain->second / fast);
        }
    }

private:
    std::map<std::string, double> medians_;
};

// Peak resident size of a child that loads `file` once (the mapped file's
// pages count in it).
long PeakKiB(const fs::path& file) {
    const pid_t child = ::fork();
    if (child == 0) {
        int bar = 0;
        FastLoad(file, bar);
        ::_exit(0);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    return usage.ru_maxrss;
}

// Drops the file from the page cache, loads it, and counts the bytes of it
// in the page cache afterwards: what the load read from disk. `aheadOff`
// loads from a mapping of its own with the kernel's read-around turned off,
// so only the pages the loader itself touched come in.
std::size_t BytesReadCold(const fs::path& file, bool aheadOff) {
    const int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) return 0;
    const std::size_t size = fs::file_size(file);
    const long page = ::sysconf(_SC_PAGESIZE);
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) std::abort();
    if (aheadOff) {
        ::madvise(map, size, MADV_RANDOM);
        tw::LoadLastAnimation(std::string_view(static_cast<const char*>(map), size), Catalogue());
    } else {
        int bar = 0;
        FastLoad(file, bar);
    }
    std::vector<unsigned char> resident((size + page - 1) / page);
    std::size_t count = 0;
    if (::mincore(map, size, resident.data()) == 0)
        for (unsigned char r : resident) count += r & 1;
    ::munmap(map, size);
    ::close(fd);
    return count * static_cast<std::size_t>(page);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const Files& files = TheFiles();

    for (const fs::path& file : {files.large, files.small}) {
        int fastBar = 0, plainBar = 0;
        const bool same = FastLoad(file, fastBar) == PlainLoad(file, plainBar) && fastBar == plainBar;
        std::printf("%s: %.1f MB, fast and plain loads %s\n", file.filename().c_str(),
                    static_cast<double>(fs::file_size(file)) / 1e6, same ? "agree" : "DIFFER");
        if (!same) return 1;
    }
    const long peak = PeakKiB(files.large);

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nMedian times, fast against plain:\n");
    reporter.PrintRatios();

    const double large = static_cast<double>(fs::file_size(files.large)) / 1e6;
    std::printf("\nPeak resident size of one load of the %.1f MB file: %.1f MB (%.2fx the file)\n", large,
                static_cast<double>(peak) * 1024 / 1e6, static_cast<double>(peak) * 1024 / 1e6 / large);
    std::ifstream in(files.small, std::ios::binary);
    const std::string small{std::istreambuf_iterator<char>(in), {}};
    const std::size_t lastBlock = small.size() - small.rfind("\"#Haptek");
    std::printf("Many-blocks file %.1f MB, its last block %.1f KB. From a cold cache a load read %.1f KB of it;\n"
                "with the kernel's read-around off, %.1f KB\n",
                static_cast<double>(small.size()) / 1e6, static_cast<double>(lastBlock) / 1e3,
                static_cast<double>(BytesReadCold(files.small, false)) / 1e3,
                static_cast<double>(BytesReadCold(files.small, true)) / 1e3);
    fs::remove_all(files.folder);
    benchmark::Shutdown();
    return 0;
}
