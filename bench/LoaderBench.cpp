// How fast the last block of a script file is loaded back, end to end (open,
// read, the byte searches, the texts), against the plain way: the same
// searches turn by turn over bytes fetched with std::ifstream::get one at a
// time (into a small window, so reading backwards does not seek per byte),
// and the same plain searches over the file's bytes already in memory. The
// limit beside them: pread of the file's last block.
//
//   10-minute file  one 10-minute block at 30 frames per second, all 105
//                   registers moving (about 120 MB), as the generator writes it
//   many blocks     500 short blocks appended one after another
// Each in two states, alike for every side that reads the file:
//   first load     the file dropped from the page cache before every run
//   repeated load  the file in the page cache, as after writing it
// The sides run in turn, round after round; medians and per-round ratios.
// Every side's load is compared with ours (texts, messages, progress); the
// program exits with 1 when they differ. After the runs: the peak memory of
// one load of the large file, and how much of the many-blocks file one load
// reads from disk.
//
// --quick (or TW_BENCH_QUICK=1): a 1-minute file, one round each.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Rounds.h"
#include "document/NumberText.h"
#include "generation/FileBlock.h"
#include "generation/ScriptFile.h"
#include "reading/LastAnimationLoader.h"
#include "reading/LiteralLoader.h"

namespace fs = std::filesystem;

namespace {

using Names = std::array<std::string, tw::RegisterCount>;

Names Catalogue() { return tw::literal::CatalogueNames(); }

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

Files MakeFiles(bool quick) {
    std::string pattern = (fs::temp_directory_path() / "tw-loader-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    Files made{pattern, fs::path(pattern) / "large.hap", fs::path(pattern) / "small.hap"};
    auto append = [](const fs::path& file, const tw::DocumentTexts& doc) {
        auto block = tw::BlockFor(tw::BlockDestination::File, doc);
        if (!block || !tw::AppendQuotedRecord(file, block.value().text)) std::abort();
    };
    append(made.large, Moving(0, quick ? "60" : "600", "30"));
    for (int i = 0; i < 500; ++i) append(made.small, Moving(i * 0.5, "0.5", "10"));
    return made;
}

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Drops the file's pages from the page cache (they are clean: the file was
// synced when it was written).
void DropFromCache(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) std::abort();
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
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

// A load and the progress values it showed.
struct Load {
    tw::LoadedAnimation loaded;
    std::vector<int> shown;
    bool operator==(const Load&) const = default;
};

Load OursLoad(const fs::path& file) {
    Load load;
    auto loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue(), [&](int v) { load.shown.push_back(v); });
    if (!loaded) std::abort();
    load.loaded = std::move(loaded).value();
    return load;
}

Load StreamLoad(const fs::path& file) {
    Load load;
    StreamSource source(file);
    const Names names = Catalogue();
    const tw::ProgressFn progress = [&](int v) { load.shown.push_back(v); };
    load.loaded = tw::literal::Loader<StreamSource>(source, names, progress).Run();
    return load;
}

Load MemoryLoad(const std::string& bytes) {
    Load load;
    load.loaded = tw::literal::Load(bytes, Catalogue(), [&](int v) { load.shown.push_back(v); });
    return load;
}

// The limit: the file's last block (from its last "#Haptek header's opening
// quotation mark to the end) read with one pread.
std::size_t ReadLastBlock(const fs::path& file, std::size_t offset, std::size_t bytes, std::vector<char>& into) {
    const int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) std::abort();
    into.resize(bytes);
    std::size_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(fd, into.data() + done, bytes - done, static_cast<off_t>(offset + done));
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return done;
}

bool failed = false;

void Compare(const std::string& title, const fs::path& file, int rounds, bool cold) {
    const std::string bytes = FileText(file);
    const std::size_t blockStart = bytes.rfind("\"#Haptek");
    const std::size_t lastBlock = bytes.size() - blockStart;
    Load ours, stream, memory;
    std::vector<char> block;
    std::size_t blockRead = 0;
    const auto drop = [&] {
        if (cold) DropFromCache(file);
    };
    const std::vector<bench::Side> sides = {
        {"ours (LoadLastAnimationFromFile)", [&] { ours = OursLoad(file); }, drop},
        {"plain, ifstream::get byte by byte", [&] { stream = StreamLoad(file); }, drop},
        {"plain, same searches over bytes in memory", [&] { memory = MemoryLoad(bytes); }},
        {"limit: pread of the last block", [&] { blockRead = ReadLastBlock(file, blockStart, lastBlock, block); },
         drop},
    };
    if (!cold)
        for (const bench::Side& side : sides) side.run();  // the file in the page cache
    const bench::Times times = bench::Alternate(rounds, sides);
    char name[256];
    std::snprintf(name, sizeof name, "%s (%.1f MB, last block %.1f kB), %s", title.c_str(),
                  static_cast<double>(bytes.size()) / 1e6, static_cast<double>(lastBlock) / 1e3,
                  cold ? "first load, file not in the page cache" : "repeated load, file in the page cache");
    bench::Report(name, rounds, sides,
                  {bench::Role::Ours, bench::Role::Baseline, bench::Role::Baseline, bench::Role::Limit}, times);
    const bool same = ours == stream && ours == memory && blockRead == lastBlock &&
                      std::string_view(block.data(), block.size()) == std::string_view(bytes).substr(blockStart);
    std::printf("  same result: %s (texts, messages and progress of the three loads; the block read whole)\n",
                same ? "yes" : "NO");
    failed = failed || !same;
}

// Peak resident size of a child that loads `file` once.
long PeakKiB(const fs::path& file) {
    const pid_t child = ::fork();
    if (child == 0) {
        OursLoad(file);
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
        OursLoad(file);
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
    const bool quick = bench::TakeQuickFlag(argc, argv);
    const int rounds = bench::RoundsFor(quick);
    const Files files = MakeFiles(quick);
    // Before the comparisons, so the child starts small.
    const long peak = PeakKiB(files.large);
    std::printf("Loading the last block: medians of alternating rounds; a baseline's ratio is its time over ours,\n"
                "the limit's is our time over its.%s\n",
                quick ? " Short mode: one round each." : "");
    for (const bool cold : {true, false}) {
        Compare(quick ? "1-minute file" : "10-minute file", files.large, rounds, cold);
        Compare("Many-blocks file", files.small, rounds, cold);
    }

    const double large = static_cast<double>(fs::file_size(files.large)) / 1e6;
    std::printf("\nPeak resident size of one load of the %.1f MB file: %.1f MB (%.2fx the file)\n", large,
                static_cast<double>(peak) * 1024 / 1e6, static_cast<double>(peak) * 1024 / 1e6 / large);
    const std::string small = FileText(files.small);
    const std::size_t lastBlock = small.size() - small.rfind("\"#Haptek");
    std::printf("Many-blocks file %.1f MB, its last block %.1f KB. From a cold cache a load read %.1f KB of it;\n"
                "with the kernel's read-around off, %.1f KB\n",
                static_cast<double>(small.size()) / 1e6, static_cast<double>(lastBlock) / 1e3,
                static_cast<double>(BytesReadCold(files.small, false)) / 1e3,
                static_cast<double>(BytesReadCold(files.small, true)) / 1e3);
    fs::remove_all(files.folder);
    std::printf("\n%s\n", failed ? "same result: NO for at least one comparison" : "same result: yes, every comparison");
    return failed ? 1 : 0;
}
