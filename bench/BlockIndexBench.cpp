// How fast a script file's blocks are indexed: the index of the file from the
// page cache (pread by pieces, the scan), the same scan over the bytes already
// in memory, and beside them memchr over the same bytes finding every closing
// quote line (the least a pass over the bytes can cost) and pread of the file
// in the same pieces (what reading it costs). Checked: the file's index equals
// the in-memory one, both find as many complete blocks as the memchr pass, and
// on the first blocks the plain forward scan agrees.
//
// The file: blocks the generator writes, one after another, each 2 s at 30
// frames per second with 20 of the 105 registers moving (about 0.2 MB), up to
// the size asked for: --megabytes N (1024 unless told; --quick: 16 MB, one
// round).
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Rounds.h"
#include "document/FileHeader.h"
#include "document/NumberText.h"
#include "document/RegisterCatalogue.h"
#include "generation/FileBlock.h"
#include "reading/BlockIndex.h"
#include "reading/PlainBlockIndex.h"

namespace fs = std::filesystem;

namespace {

tw::DocumentTexts Moving(double start) {
    tw::DocumentTexts doc;
    doc.fileHeader = std::string(tw::DefaultFileHeader);
    doc.startTime = tw::DecimalText(start);
    doc.dKeyframe = "2";
    doc.framesPSec = "30";
    doc.acceleration = "0";
    doc.subHeader = "take " + tw::DecimalText(start);
    for (int r = 0; r < tw::RegisterCount; ++r) {
        doc.names[r] = std::string(tw::RegisterCatalogue()[r].name);
        doc.initial[r] = tw::DecimalText(r * 0.01);
        doc.final[r] = r % 5 == 0 ? tw::DecimalText(1 - r * 0.013) : doc.initial[r];
    }
    return doc;
}

// Writes blocks to `path` until it holds at least `bytes`.
std::size_t MakeFile(const fs::path& path, std::size_t bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) std::abort();
    std::size_t written = 0;
    for (int i = 0; written < bytes; ++i) {
        auto block = tw::BlockFor(tw::BlockDestination::File, Moving(i * 2.0));
        if (!block) std::abort();
        const std::string record = tw::QuotedRecord(block.value().text);
        if (std::fwrite(record.data(), 1, record.size(), out) != record.size()) std::abort();
        written += record.size();
    }
    std::fclose(out);
    return written;
}

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Lines that are a lone quote ended by CR LF: the closing lines, found by
// memchr for the quote.
std::size_t ClosingLines(std::string_view bytes) {
    std::size_t count = 0;
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    while (p < end) {
        const void* q = std::memchr(p, '"', static_cast<std::size_t>(end - p));
        if (q == nullptr) break;
        const char* at = static_cast<const char*>(q);
        if (at > bytes.data() && at[-1] == '\n' && end - at >= 3 && at[1] == '\r' && at[2] == '\n') ++count;
        p = at + 1;
    }
    return count;
}

std::size_t PreadAll(const fs::path& path, std::vector<char>& buffer) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) std::abort();
    std::size_t total = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(total));
        if (n <= 0) break;
        total += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::TakeQuickFlag(argc, argv);
    std::size_t megabytes = quick ? 16 : 1024;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--megabytes") == 0) megabytes = std::strtoul(argv[i + 1], nullptr, 10);
    const int rounds = bench::RoundsFor(quick, 5);

    std::string pattern = (fs::temp_directory_path() / "tw-index-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    const fs::path file = fs::path(pattern) / "performance.hap";
    const std::size_t size = MakeFile(file, megabytes << 20);
    const std::string bytes = FileText(file);

    tw::BlockIndex fromFile, inMemory;
    std::size_t closing = 0, read = 0;
    std::vector<char> buffer(std::size_t{4} << 20);
    const std::vector<bench::Side> sides = {
        {"ours: IndexFile, file in the page cache",
         [&] {
             auto index = tw::IndexFile(file);
             if (!index) std::abort();
             fromFile = std::move(index).value();
         }},
        {"ours: IndexBlocks over the bytes in memory", [&] { inMemory = tw::IndexBlocks(bytes); }},
        {"memchr for the closing quotes, bytes in memory", [&] { closing = ClosingLines(bytes); }},
        {"pread of the file in 4 MB pieces", [&] { read = PreadAll(file, buffer); }},
    };
    for (const bench::Side& side : sides) side.run();  // the file in the page cache
    const bench::Times times = bench::Alternate(rounds, sides);
    char title[200];
    std::snprintf(title, sizeof title, "Indexing %.1f MB of generated blocks", static_cast<double>(size) / 1e6);
    const std::vector<double> medians =
        bench::Report(title, rounds, sides, {bench::Role::Ours, bench::Role::Ours, bench::Role::Limit, bench::Role::Limit},
                      times);
    const char* names[] = {"IndexFile", "IndexBlocks", "memchr", "pread"};
    for (std::size_t s = 0; s < medians.size(); ++s)
        std::printf("  %-12s %.2f GB/s\n", names[s], static_cast<double>(size) / 1e9 / (medians[s] / 1e3));

    // The plain scan over the first few blocks (it is far slower).
    const std::size_t sample = fromFile.blocks.size() > 8 ? fromFile.blocks[7].end() : size;
    tw::BlockIndex head = tw::IndexBlocks(std::string_view(bytes).substr(0, sample));
    const bool same = fromFile == inMemory && fromFile.blocks.size() == closing && read == size &&
                      head == tw::plain::IndexBlocks(std::string_view(bytes).substr(0, sample));
    std::printf("  %zu blocks; same result: %s (file and memory index, memchr's closing lines, the plain scan "
                "over the first blocks)\n",
                fromFile.blocks.size(), same ? "yes" : "NO");
    fs::remove_all(pattern);
    return same ? 0 : 1;
}
