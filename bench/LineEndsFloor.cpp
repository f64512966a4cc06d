// The floor under any load of a file's last block, as a process: the file
// read from its end towards its start with pread, as the loader reads it,
// and each window's line ends counted in one pass over its bytes, sixteen at
// a time. A load does this and reads every line besides, so no load can take
// less. The windows are 256 KiB, which read fastest here (they stay in the
// core's own cache; the loader's 1 MiB windows take 1.6 ms longer to read
// the 10-minute block). Prints the number of line ends, which `wc -l` of the
// same file gives too.
//   bench_line_ends FILE
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// The bytes equal to '\n' in [p, p + n).
std::uint64_t LineEnds(const char* p, std::size_t n) {
    std::uint64_t count = 0;
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i newline = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= n) {
        // Each byte lane counts up to 255 hits, then the lanes are summed.
        __m128i lanes = zero;
        for (int step = 0; step < 255 && i + 16 <= n; ++step, i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(bytes, newline));
        }
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        count += static_cast<std::uint64_t>(_mm_cvtsi128_si64(sums)) +
                 static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    }
#endif
    for (; i < n; ++i) count += p[i] == '\n';
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_line_ends FILE\n");
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    const off_t size = ::lseek(fd, 0, SEEK_END);
    constexpr std::size_t Window = std::size_t{256} << 10;
    const auto window = std::make_unique<char[]>(Window);
    std::uint64_t count = 0;
    for (off_t top = size; top > 0;) {
        const off_t bottom = top > static_cast<off_t>(Window) ? top - static_cast<off_t>(Window) : 0;
        const auto want = static_cast<std::size_t>(top - bottom);
        std::size_t got = 0;
        while (got < want) {
            const ssize_t read = ::pread(fd, window.get() + got, want - got, bottom + static_cast<off_t>(got));
            if (read <= 0) {
                std::fprintf(stderr, "%s: read failed\n", argv[1]);
                return 1;
            }
            got += static_cast<std::size_t>(read);
        }
        count += LineEnds(window.get(), want);
        top = bottom;
    }
    ::close(fd);
    std::printf("%llu\n", static_cast<unsigned long long>(count));
    return 0;
}
