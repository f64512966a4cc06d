#include "generation/Generation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>

#include <sys/mman.h>

#include "document/MessageText.h"
#include "document/NumberText.h"
#include "generation/Digits.h"
#include "generation/HapScript.h"

// Debian 12's C library predates the kernel's synchronous collapse; the
// kernel's number for it is fixed.
#ifndef MADV_COLLAPSE
#define MADV_COLLAPSE 25
#endif

namespace tw {
namespace {

// The float counter of the frame loop stops advancing at 2^24.
constexpr float LargestFrameBound = 16777216.0f;

std::string Quote(const std::string& text) { return "\"" + ShownName(text) + "\""; }

// An upper bound of the length of WriteNumber's text for a finite value.
std::size_t NumberLengthBound(double value) {
    const double magnitude = std::fabs(value);
    const std::size_t sign = std::signbit(value) && value != 0 ? 1 : 0;
    // Rounding to thousandths never carries further than rounding to a whole number.
    if (magnitude < 1e18) {
        const auto whole = static_cast<std::uint64_t>(magnitude + 0.5);
        return sign + static_cast<std::size_t>(DecimalDigitCount(whole)) + 4;
    }
    return sign + static_cast<std::size_t>(std::floor(std::log10(magnitude))) + 2 + 4;
}


}  // namespace

// Makes room for `bytes` in `text`. A large block that needs fresh memory asks
// for huge pages: the first touch of each 2 MiB then costs one fault instead
// of 512, which is most of a first run's time. The size asked of malloc is a
// whole number of huge pages less its chunk header, so the mapping it makes
// is whole huge pages, which the kernel places on a huge-page boundary. Where
// huge pages are not to be had, the advice fails and nothing changes.
void ReserveBlock(std::string& text, std::size_t bytes) {
    constexpr std::size_t HugePage = std::size_t{2} << 20;
    constexpr std::uintptr_t SmallPage = 4096;
    constexpr std::size_t MallocHeader = 32;  // chunk header and terminator, rounded up
    // Below half a huge page the rounding would cost more than it saves.
    if (bytes <= text.capacity() || bytes < HugePage / 2) {
        text.reserve(bytes);
        return;
    }
    text.reserve((bytes + MallocHeader + HugePage - 1) / HugePage * HugePage - MallocHeader);
    const auto data = reinterpret_cast<std::uintptr_t>(text.data());
    const auto blockEnd = data + text.capacity() + 1;  // with the terminator
    // The huge pages at either end hold a few bytes that are not the
    // block's (malloc's header, the mapping's last bytes). Where those lie
    // in the small page the block starts or ends in, the huge page is the
    // block's own mapping and is taken whole. The first one has its first
    // small page mapped already, where malloc wrote its header: it is
    // collapsed now, in one step, rather than faulted in as 511 more small
    // pages.
    const auto below = data & ~(HugePage - 1), above = (blockEnd + HugePage - 1) & ~(HugePage - 1);
    const bool ownsFirst = data - below < SmallPage, ownsLast = above - blockEnd < SmallPage;
    const auto start = ownsFirst ? below : (data + HugePage - 1) & ~(HugePage - 1);
    const auto end = ownsLast ? above : blockEnd & ~(HugePage - 1);
    if (end <= start) return;
    if (::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE) == 0 && ownsFirst)
        ::madvise(reinterpret_cast<void*>(start), HugePage, MADV_COLLAPSE);
}

// Upper bounds of a frame's length: frame 0 (every register) and a later
// frame (the moving registers).
struct FrameBounds {
    double first = 0, later = 0;
};

FrameBounds BoundFrames(const DocumentTexts& input, const FrameEmitter& emitter) {
    const double first = emitter.TimeOf(0.0f), last = emitter.TimeOf(emitter.frameCount() + 1.0f);
    const double timeChars =
        std::isfinite(first) && std::isfinite(last)
            ? static_cast<double>(std::max(NumberLengthBound(first), NumberLengthBound(last)))
            : 5.0;
    FrameBounds bounds;
    for (int r = 0; r < RegisterCount; ++r) {
        const double i = emitter.run().initial[r], f = emitter.run().final[r];
        const double extreme = std::min(std::max(std::fabs(i), std::fabs(f)), 3.5e38);
        const double valueChars = static_cast<double>(NumberLengthBound(i < 0 || f < 0 ? -extreme : extreme));
        const double line = static_cast<double>(ClockPrefix.size() + LineClose.size()) + timeChars +
                            valueChars +
                            static_cast<double>(RegisterLinePiece(input.figure, input.names[r]).size());
        bounds.first += line;
        if (emitter.run().moving[r]) bounds.later += line;
    }
    return bounds;
}

double EstimateBlockBytes(const DocumentTexts& input, const FrameEmitter& emitter, double frames) {
    std::size_t bytes = input.fileHeader.size() + 2 * LineEnd.size();
    if (!input.subHeader.empty()) {
        bytes += CreditLine.size() + input.subHeader.size() + 2 * LineEnd.size();
    }
    const double estimate = static_cast<double>(bytes);
    if (frames <= 0) return estimate;
    const FrameBounds bounds = BoundFrames(input, emitter);
    return estimate + bounds.first + (frames - 1) * bounds.later;
}

namespace {

// Where a run of frames written in place stopped: the end of its text, and
// the next frame to write (the one that did not fit or was not finite, or
// the end of the run).
struct FramesWritten {
    std::size_t end = 0;
    float next = 0;
};

// Writes frames from..to-1 into text[at, limit) while a whole frame of the
// longest kind still fits, stopping before a frame whose time or a value is
// not finite. `progress` gets whole percents of `of` frames, rising only.
FramesWritten WriteFramesInPlace(const FrameEmitter& emitter, float from, float to, char* text, std::size_t at,
                                 std::size_t limit, const ProgressFn& progress, float of, int& shown) {
    const std::size_t room = emitter.MaxFrameBytes();
    float t = from;
    for (; t < to && limit - at >= room; t += 1.0f) {
        bool finite = true;
        char* const end = emitter.WriteFrame(text + at, t, false, finite);
        if (!finite) break;
        at = static_cast<std::size_t>(end - text);
        if (progress) {
            const int whole = static_cast<int>(std::clamp(t / of * 99.0f, 0.0f, 99.0f));
            if (whole > shown) progress(shown = whole);
        }
    }
    return {at, t};
}

// Has the kernel map the whole pages of [at, at + bytes) for writing, as the
// first write to each would; memory it cannot map is left to those writes.
void FaultIn(char* at, std::size_t bytes) {
    constexpr std::uintptr_t Page = 4096;
    const auto start = (reinterpret_cast<std::uintptr_t>(at) + Page - 1) & ~(Page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(at) + bytes) & ~(Page - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
}

// Has the kernel map text[from, to) a huge page at a time, one thread from
// the bottom up and another from the top down, until the two meet: where
// memory comes slower to one of them, the other maps more of it. Where both
// take the last step at once, it is mapped twice, which costs nothing more.
class MeetingFaultIn {
public:
    MeetingFaultIn(std::size_t from, std::size_t to) : low_(from), high_(to) {}

    void FromBottom(char* text) {
        for (;;) {
            const std::size_t low = low_.load(std::memory_order_relaxed);
            const std::size_t high = high_.load(std::memory_order_relaxed);
            if (low >= high) return;
            const std::size_t up = low + std::min(high - low, Step);
            FaultIn(text + low, up - low);
            low_.store(up, std::memory_order_relaxed);
        }
    }

    void FromTop(char* text) {
        for (;;) {
            const std::size_t low = low_.load(std::memory_order_relaxed);
            const std::size_t high = high_.load(std::memory_order_relaxed);
            if (low >= high) return;
            const std::size_t down = high - std::min(high - low, Step);
            FaultIn(text + down, high - down);
            high_.store(down, std::memory_order_relaxed);
        }
    }

private:
    static constexpr std::size_t Step = std::size_t{2} << 20;
    std::atomic<std::size_t> low_, high_;
};

// Moves the second half's text down onto the end of the first, the two
// threads each taking half of it. A move down by the gap is a chain: the
// upper share's first bytes land where the lower share's last bytes are
// still to be read, so those are first copied aside, into the room past the
// second half's end, and put in place once the lower share was moved. Where
// that room cannot hold them, or the text is short, this thread moves it
// all.
class SplitMove {
public:
    // On the second half's thread, once its frames are written: waits for
    // Run and moves the upper share when told to.
    void HelperPart(char* text) {
        stage_.wait(Waiting);
        if (stage_.load() == Upper) std::memmove(text + from_ - gap_, text + from_, end_ - from_);
    }

    // On the first half's thread: moves text[second, end) down to `to`
    // when the halves join, else nothing; the bytes up to `limit` are the
    // block's. Returns once this thread's share is done; joining the other
    // thread ends the move.
    void Run(bool joins, char* text, std::size_t to, std::size_t second, std::size_t end, std::size_t limit) {
        const std::size_t length = end - second, gap = second - to;
        if (!joins || gap == 0) {
            Tell(Nothing);
            return;
        }
        const std::size_t middle = second + length / 2;
        if (length < SplitFrom || gap > length / 2 || gap > limit - end) {
            Tell(Nothing);
            std::memmove(text + to, text + second, length);
            return;
        }
        std::memcpy(text + end, text + middle - gap, gap);
        from_ = middle;
        gap_ = gap;
        end_ = end;
        Tell(Upper);
        std::memmove(text + to, text + second, middle - gap - second);
        std::memcpy(text + middle - 2 * gap, text + end, gap);
    }

private:
    static constexpr int Waiting = 0, Upper = 1, Nothing = 2;
    // Below this a thread's share costs less than handing it over.
    static constexpr std::size_t SplitFrom = std::size_t{1} << 20;
    void Tell(int stage) {
        stage_.store(stage);
        stage_.notify_one();
    }
    std::atomic<int> stage_{Waiting};
    std::size_t from_ = 0, gap_ = 0, end_ = 0;
};

// Grows `text` to `size` bytes without writing them, as C++23's
// resize_and_overwrite does: a large block's frames are written straight
// into it, and having the string fill it first would write every byte twice.
// Every byte the caller keeps is written before the text is read. With the
// GNU library under C++20 this is the string's own length setter, named
// through an explicit instantiation (where access to private members is not
// checked); with any other library the text is filled as resize fills it.
#if defined(__cpp_lib_string_resize_and_overwrite)
void SizeForOverwrite(std::string& text, std::size_t size) {
    text.resize_and_overwrite(size, [](char*, std::size_t n) { return n; });
}
#elif defined(__GLIBCXX__) && _GLIBCXX_USE_CXX11_ABI
struct LengthSetterTag {};
template <auto SetLength>
struct LengthSetter {
    friend auto StringLengthSetter(LengthSetterTag) { return SetLength; }
};
template struct LengthSetter<&std::string::_M_set_length>;
auto StringLengthSetter(LengthSetterTag);

void SizeForOverwrite(std::string& text, std::size_t size) {
    if (size > text.capacity()) text.reserve(size);
    (text.*StringLengthSetter(LengthSetterTag{}))(size);
}
#else
void SizeForOverwrite(std::string& text, std::size_t size) { text.resize(size); }
#endif

// A block at least this long is written by two threads, each a half of its
// frames: below it a thread costs more than it saves.
constexpr double TwoThreadBytes = 4 << 20;
// The share of a two-thread block's estimate added to its room, so that the
// room left past the second half usually holds the gap between the halves
// (see SplitMove).
constexpr double SpareShare = 1.0 / 128;

}  // namespace

Outcome<GeneratedBlock> GenerateBlock(const DocumentTexts& input, const ProgressFn& progress,
                                      std::string reuse) {
    using Result = Outcome<GeneratedBlock>;
    auto settings = ReadRunSettings(input);
    if (!settings) return Result::Failure(settings.error());
    const double seconds = settings.value().timeBetweenKeyframes;

    const std::string product = "Time between keyframes (" + Quote(input.dKeyframe) +
                                ") × frames per second (" + Quote(input.framesPSec) + ")";
    const auto frameCount = static_cast<float>(seconds * settings.value().framesPerSecond);
    if (!std::isfinite(frameCount)) {
        return Result::Failure(product + " is too large a number of frames.");
    }
    if (frameCount == 0.0f) {
        return Result::Failure(product + " is 0, so there are no frames to write.");
    }
    const auto frameStep = static_cast<float>(seconds / static_cast<double>(frameCount));
    const float bound = frameCount + 1.0f;
    if (bound > LargestFrameBound) {
        return Result::Failure(product + " asks for more frames than the 16777215 one block can hold.");
    }
    const double frames = bound > 0.0f ? std::ceil(static_cast<double>(bound)) : 0.0;

    const FrameEmitter emitter(std::move(settings).value(), frameCount, frameStep);
    const std::string tooLarge =
        "This run would write more than " + std::to_string(MaxBlockBytes >> 20) +
        " MB, the most one block may hold. Use fewer frames or fewer moving registers.";

    const double estimate = EstimateBlockBytes(input, emitter, frames);
    if (estimate > static_cast<double>(MaxBlockBytes)) return Result::Failure(tooLarge);

    GeneratedBlock block;
    block.frameCount = frameCount;
    block.frameStep = frameStep;
    block.text = std::move(reuse);
    block.text.clear();
    // A large block is written by two threads, each a half of its frames; the
    // room of two longest frames beyond the estimate lets each half write its
    // last frame in place, and a share of the estimate more lets both move
    // the second half down.
    const std::size_t room = emitter.MaxFrameBytes();
    const float half = std::floor(bound / 2.0f);
    const bool twoThreads =
        estimate >= TwoThreadBytes && half >= 1.0f && std::thread::hardware_concurrency() >= 2;
    const std::size_t spare = twoThreads ? 2 * room + static_cast<std::size_t>(estimate * SpareShare) : 0;
    const std::size_t size = static_cast<std::size_t>(estimate) + spare;
    ReserveBlock(block.text, size);
    StartBlock(block.text, input.fileHeader);
    AddSubHeader(block.text, input.subHeader);

    // Frames are written straight into the block, which is first grown to the
    // estimate without being filled. A large block's frames are written by
    // two threads: the first half's frames from the start, the second half's
    // after the first half's bound, then moved down to close the gap. Where a
    // half does not fit its room, or meets a frame that is not finite, the
    // loop below goes on from there, one frame at a time. Where the room left
    // is less than the longest frame, a frame goes through a small buffer and
    // the block grows only by what it holds; the block is cut to what was
    // written. A time or value that is not finite ends the run with a
    // message; the caller has written nothing yet.
    std::string frameBuffer;
    std::size_t used = block.text.size();
    int shown = -1;
    float t = 0.0f;
    if (twoThreads) {
        const FrameBounds bounds = BoundFrames(input, emitter);
        const std::size_t second = std::min(
            size,
            used + static_cast<std::size_t>(bounds.first + (static_cast<double>(half) - 1) * bounds.later) +
                room);
        // The block's room is reserved, so sizing it moves nothing.
        SizeForOverwrite(block.text, std::max(used, size));
        char* const text = block.text.data();
        FramesWritten later;
        int laterShown = 100;  // the second half reports no progress
        std::atomic<bool> laterWritten{false};
        SplitMove move;
        MeetingFaultIn mapping(used, size);
        // The second half's thread has the kernel map the block's memory from
        // the top while this one does from the bottom, writes its frames once
        // the two have met, then moves its share of them down.
        std::thread helper([&] {
            mapping.FromTop(text);
            later = WriteFramesInPlace(emitter, half, bound, text, second, size, {}, 1.0f, laterShown);
            laterWritten.store(true);
            laterWritten.notify_one();
            move.HelperPart(text);
        });
        mapping.FromBottom(text);
        const FramesWritten first = WriteFramesInPlace(emitter, 0.0f, half, text, used, second, progress,
                                                       half, shown);
        laterWritten.wait(false);
        used = first.end;
        t = first.next;
        const bool joins = t == half && later.next > half;
        move.Run(joins, text, used, second, later.end, size);
        helper.join();
        if (joins) {
            used += later.end - second;
            t = later.next;
        }
        if (used > MaxBlockBytes) return Result::Failure(tooLarge);
    } else {
        SizeForOverwrite(block.text, std::max(used, size));
    }
    for (; t < bound; t += 1.0f) {
        const bool direct = block.text.size() - used >= room;
        if (!direct && frameBuffer.empty()) frameBuffer.resize(room);
        char* const at = direct ? block.text.data() + used : frameBuffer.data();
        bool finite = true;
        const auto length = static_cast<std::size_t>(emitter.WriteFrame(at, t, false, finite) - at);
        if (!finite) {
            std::optional<std::string> fault = emitter.FrameFault(t, false);
            return Result::Failure(fault ? std::move(*fault) : "A value is out of range.");
        }
        if (!direct) {
            if (used + length > block.text.size()) block.text.resize(used + length);
            std::memcpy(block.text.data() + used, frameBuffer.data(), length);
        }
        used += length;
        if (used > MaxBlockBytes) return Result::Failure(tooLarge);
        if (progress) {
            const float value = std::clamp(t / frameCount * 99.0f, 0.0f, 99.0f);
            const int whole = static_cast<int>(value);
            if (whole > shown) {
                shown = whole;
                progress(whole);
            }
        }
    }
    block.text.resize(used);
    return Result::Success(std::move(block));
}

}  // namespace tw
