// How long an edit of a large script file takes: a block in the middle of the
// file replaced by a block one second longer (every later block rippled), the
// whole new file written beside the old one, synced and renamed over it;
// beside it `cp` of the file and `sync` of the copy (what a user would do to
// keep a copy safely), and the least that writing the file can cost: write +
// fdatasync of the same bytes into a new file. Checked: the copy is the file
// byte for byte, and the edit, made back with the original block, gives the
// original file byte for byte.
//
// The file: blocks the generator writes, one after another, each 2 s at 30
// frames per second with 20 of the 105 registers moving (about 0.2 MB), up to
// the size asked for: --megabytes N (120 unless told; --quick: 8 MB, one
// round).
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "Rounds.h"
#include "document/FileHeader.h"
#include "document/NumberText.h"
#include "document/RegisterCatalogue.h"
#include "generation/FileBlock.h"
#include "generation/HapScript.h"
#include "session/FileEdits.h"

namespace fs = std::filesystem;

namespace {

tw::DocumentTexts Moving(double start, const char* seconds) {
    tw::DocumentTexts doc;
    doc.fileHeader = std::string(tw::DefaultFileHeader);
    doc.startTime = tw::DecimalText(start);
    doc.dKeyframe = seconds;
    doc.finishTime = tw::DecimalText(start + std::atof(seconds));
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

// Writes blocks to `path` until it holds at least `bytes`; the number of blocks.
int MakeFile(const fs::path& path, std::size_t bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) std::abort();
    std::size_t written = 0;
    int blocks = 0;
    for (; written < bytes; ++blocks) {
        auto block = tw::BlockFor(tw::BlockDestination::File, Moving(blocks * 2.0, "2"));
        if (!block) std::abort();
        const std::string record = tw::QuotedRecord(block.value().text);
        if (std::fwrite(record.data(), 1, record.size(), out) != record.size()) std::abort();
        written += record.size();
    }
    if (std::fflush(out) != 0 || ::fsync(::fileno(out)) != 0) std::abort();
    std::fclose(out);
    return blocks;
}

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAndSync(const fs::path& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) std::abort();
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n <= 0) std::abort();
        at += static_cast<std::size_t>(n);
    }
    if (::fdatasync(fd) != 0) std::abort();
    ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::TakeQuickFlag(argc, argv);
    std::size_t megabytes = quick ? 8 : 120;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--megabytes") == 0) megabytes = std::strtoul(argv[i + 1], nullptr, 10);
    const int rounds = bench::RoundsFor(quick, 8);

    std::string pattern = (fs::temp_directory_path() / "tw-edit-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    const fs::path folder = pattern;
    const fs::path file = folder / "performance.hap", copy = folder / "copy.hap",
                   plain = folder / "plain.hap";
    const int blocks = MakeFile(file, megabytes << 20);
    const std::string original = FileText(file);
    const int middle = blocks / 2 + 1;
    const double middleStart = (middle - 1) * 2.0;

    bool longer = true;  // the next edit makes the block 3 s long; the one after gives back 2 s
    bool editsOk = true;
    const auto edit = [&] {
        const auto done = tw::ReplaceBlock(file.string(), middle, Moving(middleStart, longer ? "3" : "2"));
        if (!done) {
            std::fprintf(stderr, "%s\n", done.error().c_str());
            editsOk = false;
        }
        longer = !longer;
    };
    const std::string cp =
        "cp '" + file.string() + "' '" + copy.string() + "' && sync '" + copy.string() + "'";
    bool copied = true;
    const std::vector<bench::Side> sides = {
        {"ours: replace a middle block, ripple, sync, rename", edit},
        {"cp of the file + sync of the copy", [&] { copied = std::system(cp.c_str()) == 0 && copied; },
         [&] { fs::remove(copy); }},
        {"limit: write + fdatasync of the same bytes", [&] { WriteAndSync(plain, original); },
         [&] { fs::remove(plain); }},
    };
    const bench::Times times = bench::Alternate(rounds, sides);
    char title[200];
    std::snprintf(title, sizeof title,
                  "Editing block %d of %d in a %.1f MB file (later blocks rippled by 1 s)", middle, blocks,
                  static_cast<double>(original.size()) / 1e6);
    bench::Report(title, rounds, sides, {bench::Role::Ours, bench::Role::Baseline, bench::Role::Limit},
                  times);

    const bool copySame = FileText(copy) == FileText(file);
    // An odd number of edits leaves the longer block: one more gives it back.
    if (!longer) edit();
    const bool same = editsOk && copied && copySame && FileText(file) == original;
    std::printf("  same result: %s (the copy is the file; the edit and its reverse give back the file)\n",
                same ? "yes" : "NO");
    fs::remove_all(folder);
    return same ? 0 : 1;
}
