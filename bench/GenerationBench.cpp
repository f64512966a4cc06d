// How fast blocks are generated and written, against the same work done the
// ways a reader would write it: one snprintf per line, and one line of
// std::to_chars calls per line, each appended to a string. Every comparison
// runs its sides in turn, round after round, and every side starts from the
// same memory state and writes to the same destination with the same
// durability:
//
//   fresh memory   a first run: each side's block goes into memory the
//                  process has never touched (the last round's block is
//                  returned to the system before the round; blocks of 1 MiB
//                  and more are mapped afresh by malloc, which is set to do so)
//   warm memory    a repeated run: each side writes into its own last block's
//                  memory, as the program does from its second run on
//   in memory      the block only
//   file           the block appended as a quoted record to a new file, with
//                  fdatasync on every side or on none
//
// Beside every figure its physical limit: memcpy of the block's bytes into
// fresh memory (plain malloc, and memory given huge pages) or into warm memory;
// for the file, write (+ fdatasync) of the same record. The append alone is
// compared with an ofstream + fdatasync, its limit write + fdatasync.
//
// Every side's block is checked against ours before the figures count. The
// plain sides round an exact tie at the fourth decimal to even (printf and
// to_chars both do); the file format rounds half away from zero, so on those
// lines, and only there, the texts differ: the check names them and compares
// every other byte. Exits with 1 when a side's result is not the same.
//
// --quick (or TW_BENCH_QUICK=1): one round per comparison, results checked.

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Rounds.h"
#include "document/RegisterCatalogue.h"
#include "generation/FileBlock.h"
#include "generation/Generation.h"
#include "generation/ScriptFile.h"

namespace fs = std::filesystem;
using bench::Role;
using bench::Side;

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

// The run as a plain writer reads it: strtod once per text, then per line the
// time and the curve's value as the file format defines them.
struct PlainRun {
    explicit PlainRun(const tw::DocumentTexts& input) : texts(input) {
        const double seconds = std::strtod(input.dKeyframe.c_str(), nullptr);
        const double fps = std::strtod(input.framesPSec.c_str(), nullptr);
        start = std::strtod(input.startTime.c_str(), nullptr);
        a = std::strtod(input.acceleration.c_str(), nullptr);
        count = static_cast<float>(seconds * fps);
        step = static_cast<float>(seconds / static_cast<double>(count));
        for (int r = 0; r < tw::RegisterCount; ++r) {
            initial[r] = std::strtod(input.initial[r].c_str(), nullptr);
            final[r] = std::strtod(input.final[r].c_str(), nullptr);
            moving[r] = input.initial[r] != input.final[r];
        }
    }

    double Time(float t) const { return start + static_cast<double>(t * step); }
    bool Writes(int r, float t) const { return t == 0 || moving[r]; }
    double Value(int r, float t) const {
        const double i = initial[r], f = final[r], td = t, n = count;
        double v;
        if (a > 0) {
            v = i + ((f - i) * (td / n)) * std::exp(a * (td - n) / 100);
        } else if (a < 0) {
            v = i + (f - i) * (1 - (1 - td / n) * std::exp(a * td / 100));
            if ((f > i && v > f) || (f < i && v < f)) v = f;
        } else {
            v = i + td * static_cast<double>(static_cast<float>((f - i) / n));
        }
        return static_cast<float>(v);
    }
    std::string Header() const { return texts.fileHeader + "\r\n\r\n"; }

    const tw::DocumentTexts& texts;
    double start = 0, a = 0;
    float count = 0, step = 0;
    double initial[tw::RegisterCount] = {}, final[tw::RegisterCount] = {};
    bool moving[tw::RegisterCount] = {};
};

// One snprintf per line, appended to `block` (cleared first; its memory kept).
void SnprintfBlock(const PlainRun& run, std::string& block) {
    block.clear();
    block += run.Header();
    char line[512];
    for (float t = 0; t < run.count + 1.0f; t += 1) {
        const double time = run.Time(t);
        for (int r = 0; r < tw::RegisterCount; ++r) {
            if (!run.Writes(r, t)) continue;
            const int n = std::snprintf(line, sizeof line, "\\clock [t= %.3f]   \\setreg[name= %s   f0= %.3f]\r\n",
                                        time, run.texts.names[r].c_str(), run.Value(r, t));
            block.append(line, static_cast<std::size_t>(n));
        }
    }
}

// The same lines put together from std::to_chars and the texts.
void ToCharsBlock(const PlainRun& run, std::string& block) {
    block.clear();
    block += run.Header();
    char line[512];
    const auto put = [](char* at, std::string_view text) { return std::copy(text.begin(), text.end(), at); };
    for (float t = 0; t < run.count + 1.0f; t += 1) {
        const double time = run.Time(t);
        for (int r = 0; r < tw::RegisterCount; ++r) {
            if (!run.Writes(r, t)) continue;
            char* p = put(line, "\\clock [t= ");
            p = std::to_chars(p, line + sizeof line, time, std::chars_format::fixed, 3).ptr;
            p = put(p, "]   \\setreg[name= ");
            p = put(p, run.texts.names[r]);
            p = put(p, "   f0= ");
            p = std::to_chars(p, line + sizeof line, run.Value(r, t), std::chars_format::fixed, 3).ptr;
            p = put(p, "]\r\n");
            block.append(line, p);
        }
    }
}

// --- The result check -------------------------------------------------------

// x lies exactly halfway between two thousandths.
bool IsTie(double x) {
    const double y = x * 2000;
    return std::fma(x, 2000, -y) == 0 && std::fabs(y) < 0x1p52 && std::fmod(std::fabs(y), 2.0) == 1.0;
}

std::string Thousandths(double x, bool awayFromZero) {
    char text[400];
    // One step past an exact tie lands on its far side, which rounds away.
    if (awayFromZero && IsTie(x)) x = std::nextafter(x, std::copysign(INFINITY, x));
    std::snprintf(text, sizeof text, "%.3f", x);
    return text;
}

std::string Line(const std::string& time, const std::string& name, const std::string& value) {
    return "\\clock [t= " + time + "]   \\setreg[name= " + name + "   f0= " + value + "]";
}

std::string_view NextLine(std::string_view text, std::size_t& at) {
    const std::size_t end = text.find("\r\n", at);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    std::string_view line = text.substr(at, stop - at);
    at = end == std::string_view::npos ? text.size() : end + 2;
    return line;
}

bool tieShown = false;

// Whether `other`, written by a plain side from `run`, is our block but for
// the lines where the plain side rounded an exact tie to even. Prints which.
bool SameBlock(std::string_view ours, std::string_view other, const PlainRun& run, const std::string& otherName) {
    if (ours == other) {
        std::printf("  same result: yes (%s: every byte)\n", otherName.c_str());
        return true;
    }
    const std::string header = run.Header();
    if (ours.substr(0, header.size()) != header || other.substr(0, header.size()) != header) {
        std::printf("  same result: NO (%s: the headers differ)\n", otherName.c_str());
        return false;
    }
    std::size_t a = header.size(), b = header.size(), lines = 0, ties = 0;
    std::string examples;
    for (float t = 0; t < run.count + 1.0f; t += 1) {
        for (int r = 0; r < tw::RegisterCount; ++r) {
            if (!run.Writes(r, t)) continue;
            ++lines;
            const std::string_view mine = NextLine(ours, a), theirs = NextLine(other, b);
            if (mine == theirs) continue;
            const double time = run.Time(t), value = run.Value(r, t);
            const bool tie = IsTie(time) || IsTie(value);
            const std::string even = Line(Thousandths(time, false), run.texts.names[r], Thousandths(value, false));
            const std::string away = Line(Thousandths(time, true), run.texts.names[r], Thousandths(value, true));
            if (!tie || theirs != even || mine != away) {
                std::printf("  same result: NO (%s, line %zu: ours \"%.*s\", theirs \"%.*s\")\n", otherName.c_str(),
                            lines + 2, static_cast<int>(mine.size()), mine.data(), static_cast<int>(theirs.size()),
                            theirs.data());
                return false;
            }
            // The first such line, shown once per program run.
            if (++ties == 1 && !tieShown) {
                tieShown = true;
                examples = "\n    e.g. line " + std::to_string(lines + 2) + ", ours:   " + std::string(mine) +
                           "\n    " + std::string(std::to_string(lines + 2).size() + 10, ' ') +
                           "theirs: " + std::string(theirs);
            }
        }
    }
    if (a != ours.size() || b != other.size()) {
        std::printf("  same result: NO (%s: the blocks differ in length)\n", otherName.c_str());
        return false;
    }
    std::printf("  same result: yes (%s: every byte but %zu of %zu lines, where its value is an exact tie at the\n"
                "    fourth decimal, which it rounds to even and the file format rounds away from zero)%s\n",
                otherName.c_str(), ties, lines, examples.c_str());
    return true;
}

// --- Files -------------------------------------------------------------------

fs::path MakeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "tw-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
}

// write() of the quoted record to a new file, with or without fdatasync.
void WriteRecord(const fs::path& path, std::string_view block, bool sync) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) std::abort();
    for (std::string_view part : {std::string_view("\""), block, std::string_view("\"\r\n")}) {
        while (!part.empty()) {
            const ssize_t n = ::write(fd, part.data(), part.size());
            if (n <= 0) std::abort();
            part.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    if (sync && ::fdatasync(fd) != 0) std::abort();
    ::close(fd);
}

// The plain append: an ofstream, then fdatasync when asked.
void StreamRecord(const fs::path& path, const std::string& block, bool sync) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << '"' << block << "\"\r\n";
        if (!out) std::abort();
    }
    if (sync) {
        const int fd = ::open(path.c_str(), O_WRONLY);
        if (fd < 0 || ::fdatasync(fd) != 0) std::abort();
        ::close(fd);
    }
}

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string_view RecordBody(std::string_view record) {
    if (record.size() < 4 || record.front() != '"' || record.substr(record.size() - 3) != "\"\r\n") return {};
    return record.substr(1, record.size() - 4);
}

// --- Memory --------------------------------------------------------------------

// Memory of `bytes` on a huge-page boundary, marked for huge pages.
struct HugeBuffer {
    explicit HugeBuffer(std::size_t bytes) : size((bytes + (2u << 20) - 1) & ~std::size_t{(2u << 20) - 1}) {
        data = static_cast<char*>(std::aligned_alloc(2u << 20, size));
        if (data == nullptr) std::abort();
        ::madvise(data, size, MADV_HUGEPAGE);
    }
    ~HugeBuffer() { std::free(data); }
    HugeBuffer(const HugeBuffer&) = delete;
    HugeBuffer& operator=(const HugeBuffer&) = delete;
    std::size_t size;
    char* data;
};

bool failed = false;

void Check(bool same) { failed = failed || !same; }

// --- The comparisons ------------------------------------------------------------

enum class Memory { Fresh, Warm };
enum class Destination { InMemory, FileNoSync, FileSynced };

const char* MemoryName(Memory m) { return m == Memory::Fresh ? "first run, fresh memory" : "repeated run, warm memory"; }

// One comparison of generating `input` (and writing it when asked).
void CompareGeneration(const std::string& title, const tw::DocumentTexts& input, Memory memory,
                          Destination destination, int rounds, const fs::path& folder) {
    const PlainRun run(input);
    const bool fresh = memory == Memory::Fresh;
    const bool toFile = destination != Destination::InMemory;
    const bool sync = destination == Destination::FileSynced;
    int shown = 0;
    const tw::ProgressFn progress = [&shown](int value) { shown = value; };

    // Each side's last block (and, for the file, its file).
    std::string ours, snprintfBlock, toCharsBlock;
    const fs::path oursFile = folder / "ours.hap", snprintfFile = folder / "snprintf.hap",
                   toCharsFile = folder / "to_chars.hap", limitFile = folder / "limit.hap";
    // A plain side sizes its string as ours does: from the block's length.
    auto first = tw::BlockFor(tw::BlockDestination::File, input);
    if (!first) std::abort();
    const std::size_t bytes = first.value().text.size();
    const std::string source = std::move(first.value().text);

    const auto forget = [fresh](std::string& block) {
        if (fresh) std::string().swap(block);  // back to the system
    };
    const auto start = [fresh, bytes](std::string& block) {
        if (fresh) block.reserve(bytes);
    };
    std::vector<Side> sides;
    sides.push_back({"ours (BlockFor" + std::string(destination == Destination::FileSynced   ? " + AppendQuotedRecord)"
                                                    : destination == Destination::FileNoSync ? " + write)"
                                                                                             : ")"),
                     [&] {
                         auto block = tw::BlockFor(tw::BlockDestination::File, input, progress,
                                                   fresh ? std::string() : std::move(ours));
                         if (!block) std::abort();
                         ours = std::move(block.value().text);
                         if (destination == Destination::FileSynced) {
                             if (!tw::AppendQuotedRecord(oursFile, ours)) std::abort();
                         } else if (destination == Destination::FileNoSync) {
                             WriteRecord(oursFile, ours, false);
                         }
                     },
                     [&] {
                         forget(ours);
                         fs::remove(oursFile);
                     }});
    const std::string plainWrite = toFile ? (sync ? " + ofstream + fdatasync" : " + ofstream") : "";
    sides.push_back({"plain snprintf per line" + plainWrite,
                     [&] {
                         start(snprintfBlock);
                         SnprintfBlock(run, snprintfBlock);
                         if (toFile) StreamRecord(snprintfFile, snprintfBlock, sync);
                     },
                     [&] {
                         forget(snprintfBlock);
                         fs::remove(snprintfFile);
                     }});
    sides.push_back({"std::to_chars per line" + plainWrite,
                     [&] {
                         start(toCharsBlock);
                         ToCharsBlock(run, toCharsBlock);
                         if (toFile) StreamRecord(toCharsFile, toCharsBlock, sync);
                     },
                     [&] {
                         forget(toCharsBlock);
                         fs::remove(toCharsFile);
                     }});
    std::vector<Role> roles = {Role::Ours, Role::Baseline, Role::Baseline};

    // The limits: the same bytes copied, and written.
    std::unique_ptr<char[]> copy;
    std::unique_ptr<HugeBuffer> huge;
    bool copiesSame = true;
    if (!toFile) {
        if (fresh) {
            sides.push_back({"limit: memcpy into fresh memory (malloc)",
                             [&] {
                                 copy.reset(new char[bytes]);
                                 std::memcpy(copy.get(), source.data(), bytes);
                                 bench::Keep(copy.get());
                             },
                             [&] {
                                 if (copy) copiesSame = copiesSame && std::memcmp(copy.get(), source.data(), bytes) == 0;
                                 copy.reset();
                             }});
            sides.push_back({"limit: memcpy into fresh huge-page memory",
                             [&] {
                                 huge = std::make_unique<HugeBuffer>(bytes);
                                 std::memcpy(huge->data, source.data(), bytes);
                                 bench::Keep(huge->data);
                             },
                             [&] {
                                 if (huge) copiesSame = copiesSame && std::memcmp(huge->data, source.data(), bytes) == 0;
                                 huge.reset();
                             }});
            roles.push_back(Role::Limit);
        } else {
            copy.reset(new char[bytes]);
            std::memset(copy.get(), 0, bytes);
            sides.push_back({"limit: memcpy into warm memory", [&] {
                                 std::memcpy(copy.get(), source.data(), bytes);
                                 bench::Keep(copy.get());
                             }});
        }
    } else {
        sides.push_back({std::string("limit: write") + (sync ? " + fdatasync" : "") + " of the same record",
                         [&] { WriteRecord(limitFile, source, sync); }, [&] { fs::remove(limitFile); }});
    }
    roles.push_back(Role::Limit);

    // Warm memory: one untimed run of every side first.
    if (!fresh)
        for (const Side& side : sides) {
            if (side.prepare) side.prepare();
            side.run();
        }
    const bench::Times times = bench::Alternate(rounds, sides);
    bench::Report(title + ", " + MemoryName(memory) + ", " + std::to_string(bytes / 1000) + " kB",
                                    rounds, sides, roles, times);

    if (toFile) {
        const std::string oursRecord = FileText(oursFile), limitRecord = FileText(limitFile);
        const bool oursWhole = RecordBody(oursRecord) == source && limitRecord == oursRecord;
        if (!oursWhole) std::printf("  same result: NO (ours or the limit's file is not the one record)\n");
        Check(oursWhole);
        Check(SameBlock(RecordBody(oursRecord), RecordBody(FileText(snprintfFile)), run, "snprintf"));
        Check(SameBlock(RecordBody(oursRecord), RecordBody(FileText(toCharsFile)), run, "to_chars"));
        for (const fs::path& file : {oursFile, snprintfFile, toCharsFile, limitFile}) fs::remove(file);
    } else {
        if (copy) copiesSame = copiesSame && std::memcmp(copy.get(), source.data(), bytes) == 0;
        if (huge) copiesSame = copiesSame && std::memcmp(huge->data, source.data(), bytes) == 0;
        if (ours != source || !copiesSame) std::printf("  same result: NO (ours or a copy is not the block)\n");
        Check(ours == source && copiesSame);
        Check(SameBlock(ours, snprintfBlock, run, "snprintf"));
        Check(SameBlock(ours, toCharsBlock, run, "to_chars"));
    }
}

// The append of a ready block: ours (which waits for fdatasync) against an
// ofstream + fdatasync, and the limit, write + fdatasync.
void CompareAppend(const std::string& block, int rounds, const fs::path& folder) {
    const fs::path oursFile = folder / "append-ours.hap", plainFile = folder / "append-plain.hap",
                   limitFile = folder / "append-limit.hap";
    const std::vector<Side> sides = {
        {"ours (AppendQuotedRecord, with fdatasync)", [&] {
             if (!tw::AppendQuotedRecord(oursFile, block)) std::abort();
         }, [&] { fs::remove(oursFile); }},
        {"plain ofstream + fdatasync", [&] { StreamRecord(plainFile, block, true); }, [&] { fs::remove(plainFile); }},
        {"limit: write + fdatasync of the same record", [&] { WriteRecord(limitFile, block, true); },
         [&] { fs::remove(limitFile); }},
    };
    const bench::Times times = bench::Alternate(rounds, sides);
    bench::Report("Appending the block alone to a new file, " + std::to_string(block.size() / 1000) + " kB",
                  rounds, sides, {Role::Ours, Role::Baseline, Role::Limit}, times);
    const std::string ours = FileText(oursFile);
    const bool same = RecordBody(ours) == block && FileText(plainFile) == ours && FileText(limitFile) == ours;
    std::printf("  same result: %s (the three files, byte for byte)\n", same ? "yes" : "NO");
    Check(same);
    for (const fs::path& file : {oursFile, plainFile, limitFile}) fs::remove(file);
}

struct Peak {
    long maxResidentKiB = 0;
    std::size_t blockBytes = 0;
};

// One 10-minute run with its file write in a child process; the child's own
// peak resident size is what the kernel reports for it.
Peak MeasurePeak(bool ours) {
    int channel[2];
    if (::pipe(channel) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const fs::path folder = MakeTempFolder();
        const tw::DocumentTexts input = MovingInput(600, 30, 0);
        std::size_t bytes = 0;
        if (ours) {
            auto result = tw::BlockFor(tw::BlockDestination::File, input);
            if (result && tw::AppendQuotedRecord(folder / "peak.hap", result.value().text))
                bytes = result.value().text.size();
        } else {
            std::string block;
            SnprintfBlock(PlainRun(input), block);
            StreamRecord(folder / "peak.hap", block, false);
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
    const bool quick = bench::TakeQuickFlag(argc, argv);
    const int rounds = bench::RoundsFor(quick);
    // Blocks of 1 MiB and more get a mapping of their own, returned to the
    // system when freed: a fresh block is then fresh memory on every side.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);

    // Before any comparison has touched memory, so the children start small.
    const Peak oursPeak = quick ? Peak{} : MeasurePeak(true);
    const Peak plainPeak = quick ? Peak{} : MeasurePeak(false);

    const fs::path folder = MakeTempFolder();
    std::printf("Generation: medians of alternating rounds; a baseline's ratio is its time over ours, a limit's\n"
                "ratio is our time over the limit's.%s\n",
                quick ? " Short mode: one round each." : "");
    // The short mode writes one minute where the full one writes ten (a
    // minute still holds lines where the plain sides round a tie to even).
    const double longRun = quick ? 60 : 600;
    const std::string longName = quick ? "1-minute block" : "10-minute block";
    const tw::DocumentTexts tenMinutes = MovingInput(longRun, 30, 0), tenMinutesCurved = MovingInput(longRun, 30, 15),
                            halfMinute = MovingInput(30, 10, 0);
    for (Memory memory : {Memory::Fresh, Memory::Warm}) {
        CompareGeneration("30-second block at 10 fps, linear, in memory", halfMinute, memory, Destination::InMemory,
                          rounds, folder);
        CompareGeneration(longName + " at 30 fps, linear, in memory", tenMinutes, memory, Destination::InMemory,
                          rounds, folder);
        CompareGeneration(longName + " at 30 fps, accelerating (15), in memory", tenMinutesCurved, memory,
                          Destination::InMemory, rounds, folder);
    }
    for (Memory memory : {Memory::Fresh, Memory::Warm}) {
        CompareGeneration(longName + " appended to a new file, no fdatasync on any side", tenMinutes, memory,
                          Destination::FileNoSync, rounds, folder);
        CompareGeneration(longName + " appended to a new file, fdatasync on every side", tenMinutes, memory,
                          Destination::FileSynced, rounds, folder);
    }
    auto block = tw::BlockFor(tw::BlockDestination::File, tenMinutes);
    if (!block) return 1;
    CompareAppend(block.value().text, rounds, folder);
    fs::remove_all(folder);

    if (!quick) std::printf("\nPeak memory of one 10-minute run with its file write:\n");
    for (const auto& [label, peak] : {std::pair{"ours", oursPeak}, std::pair{"snprintf", plainPeak}}) {
        if (quick) break;
        const double bytes = static_cast<double>(peak.blockBytes) / 1e6;
        const double resident = static_cast<double>(peak.maxResidentKiB) * 1024 / 1e6;
        std::printf("  %-8s block %.1f MB, peak resident %.1f MB (%.2fx the block)\n", label, bytes, resident,
                    bytes > 0 ? resident / bytes : 0.0);
    }
    std::printf("\n%s\n", failed ? "same result: NO for at least one comparison" : "same result: yes, every comparison");
    return failed ? 1 : 0;
}
