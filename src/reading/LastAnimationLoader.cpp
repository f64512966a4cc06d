#include "reading/LastAnimationLoader.h"

#include <sys/mman.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "document/CodePage.h"
#include "document/FieldRules.h"
#include "document/NumberText.h"
#include "document/MessageText.h"
#include "document/PathText.h"
#include "reading/SameBytes.h"

namespace tw {
namespace {

// A double as the nearest single-precision number; beyond the single range,
// the largest one or an infinity, as rounding gives.
float ToSingle(double value) {
    constexpr double largest = std::numeric_limits<float>::max();
    constexpr double halfwayPastLargest = 0x1.ffffffp127;
    if (std::fabs(value) <= largest) return static_cast<float>(value);
    const float beyond = std::fabs(value) < halfwayPastLargest ? std::numeric_limits<float>::max()
                                                                : std::numeric_limits<float>::infinity();
    return std::signbit(value) ? -beyond : beyond;
}


// The name cells as the file's bytes spell them. A cell matches the bytes that
// decode to it; a cell no bytes decode to matches nothing. Equal cells: the
// lowest index wins, as in a search from register 0 upward.
class NameTable {
public:
    explicit NameTable(const std::array<std::string, RegisterCount>& names) {
        for (int r = 0; r < RegisterCount; ++r) {
            std::string bytes = EncodeCodePage(names[r]);
            if (DecodeCodePage(bytes) != names[r]) continue;
            keys_[r] = std::move(bytes);
            usable_[r] = true;
            blankFree_[r] = keys_[r].find(' ') == std::string::npos;
            index_.emplace(keys_[r], r);
        }
        for (int r = 0; r < RegisterCount; ++r) first_[r] = usable_[r] ? index_.at(keys_[r]) : -1;
    }

    // The name the next line most likely holds (the cell after the last one
    // found) when it has no blank, else nothing.
    std::string_view Expected() const {
        const int guess = Guess();
        return blankFree_[guess] ? std::string_view(keys_[guess]) : std::string_view();
    }

    // The register whose name Expected gives, before it was found.
    int ExpectedRegister() const { return first_[Guess()]; }

    // The register of the name Expected gave, found in a line.
    int FoundExpected() { return last_ = first_[Guess()]; }

    // The register whose cell holds `name`, or -1. Lines of a block come in
    // register order, so the register after the last one found is tried first.
    int Find(std::string_view name) {
        const int guess = Guess();
        if (usable_[guess] && SameText(keys_[guess], name)) return last_ = first_[guess];
        const auto found = index_.find(name);
        if (found == index_.end()) return -1;
        return last_ = found->second;
    }

private:
    // The cell after the last one found.
    int Guess() const { return last_ + 1 < RegisterCount ? last_ + 1 : 0; }

    std::array<std::string, RegisterCount> keys_;
    std::array<bool, RegisterCount> usable_{};
    std::array<bool, RegisterCount> blankFree_{};
    std::array<int, RegisterCount> first_{};
    std::unordered_map<std::string_view, int> index_;
    int last_ = -1;
};

// The backward search for the last "Haptek", fed the file's tail in pieces
// growing towards its start. Positions count from 1 to L (the file's length).
// The word is read from its end, letter by letter; any byte that does not
// continue it starts again from nothing (so "Haptekk" does not count). It
// stops with its position on the byte before the "H", or at 0 when there is
// none.
//
// Walking every byte backwards costs a step per line of the file. Instead
// each "Haptek" in the file is a candidate, found from the end; it counts
// when the search would reach its "k" with nothing begun. Only the bytes just
// above it decide that: any byte that is not a letter of the word leaves the
// search with nothing begun, so it is run from the lowest such byte above the
// candidate (or from where the last candidate left it). So a candidate is
// judged by bytes above it only, and a tail that holds it gives the same
// answer as the whole file.
class HeaderSearch {
public:
    enum class Result { Found, NeedMore, None, TooFar };

    explicit HeaderSearch(std::size_t length) : length_(length), next_(length), below_(length + 1) {}

    // `tail` holds the bytes from position `first` to `top` (L unless told),
    // the first few of the last call's among them. NeedMore: no counting
    // candidate in them yet, and bytes below `first` could hold one. TooFar:
    // judging a candidate needs bytes above `top` (a run of the word's
    // letters longer than what was kept above `first`).
    Result Continue(const char* tail, std::size_t first, std::size_t top = 0) {
        if (top == 0) top = length_;
        static constexpr char word[] = "ketpaH";
        const auto byte = [tail, first](std::size_t pos) { return static_cast<unsigned char>(tail[pos - first]); };
        const auto inWord = [](int c) { return std::memchr(word, c, 6) != nullptr; };
        while (below_ > 1 && below_ > first) {
            const void* h = memrchr(tail, 'H', below_ - first);
            if (h == nullptr) {
                below_ = first;
                break;
            }
            const std::size_t at = first + static_cast<std::size_t>(static_cast<const char*>(h) - tail);
            below_ = at;
            if (at + 5 > length_ || std::memcmp(tail + (at - first), "Haptek", 6) != 0) continue;
            std::size_t reset = at + 6;
            while (reset <= next_) {
                if (reset > top) return Result::TooFar;
                if (!inWord(byte(reset))) break;
                ++reset;
            }
            if (reset <= next_) {
                next_ = reset - 1;
                state_ = 0;
            }
            for (; next_ > at + 5; --next_) state_ = byte(next_) == word[state_] ? state_ + 1 : 0;
            const bool counts = state_ == 0;
            next_ = at + 4;
            state_ = 0;
            if (counts) {
                pos_ = at - 1;
                return Result::Found;
            }
        }
        return below_ > 1 && first > 1 ? Result::NeedMore : Result::None;
    }

    // After Found, the position of the byte before the "H"; else 0.
    std::size_t pos() const { return pos_; }

private:
    std::size_t length_;
    std::size_t next_;   // the next position the search would read
    std::size_t below_;  // candidates start below this position
    int state_ = 0;      // the search's state before reading `next_`
    std::size_t pos_ = 0;
};

// The first `c` in [at, end), or null. In a script the byte sought is a few
// bytes away: the next 16 bytes are compared at once (a byte loop there
// mispredicts on every line) before handing a longer stretch to memchr.
[[gnu::always_inline]] inline const char* FindByte(const char* at, const char* end, char c) {
#ifdef __SSE2__
    if (end - at >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)));
        if (hits != 0) return at + std::countr_zero(static_cast<unsigned>(hits));
        at += 16;
    }
#endif
    for (const char* near = at + 16 < end ? at + 16 : end; at < near; ++at)
        if (*at == c) return at;
    if (at == end) return nullptr;
    return static_cast<const char*>(std::memchr(at, c, static_cast<std::size_t>(end - at)));
}

// The close of a line and the next line's clock, as the generator writes
// them.
constexpr std::string_view GeneratedLineStart = "]\r\n\\clock [t= ";

// A stretch read on its own asked for a byte beyond the bytes it was given.
struct Overrun {};

// A read of the file that failed while its block was read (cut short by
// another program meanwhile, or a read error): the load ends with `message`.
struct BlockReadFailure {
    std::string message;
};

// The byte searches over one block, from the byte where its forward reading
// begins to the end of the file. Positions count from 1 (that byte) to L;
// `pos` is the position of the next byte to read and `current` the
// byte read last (NoByte past the end). Every forward search stops when `pos`
// reaches L, so no search runs past the end.
//
// The bytes are either all in memory or read from the file into a window
// that follows the reading: a block of a hundred megabytes is then read
// through a few megabytes of memory, used again and again, instead of as
// many fresh pages as the block has. The window keeps the bytes from the
// current one, or from the start of the text being collected, on; a text
// longer than half the window doubles it. Texts handed out stay valid until
// the window moves, which `beforeMove` hears of first.
class BlockReader {
public:
    static constexpr int NoByte = -1;

    // The block in memory.
    explicit BlockReader(std::string_view block)
        : win_(block.data()), winFirst_(1), winEnd_(block.size() + 1), length_(block.size()) {}

    // Positions [first, end) of bytes `length` long, in memory at `data`:
    // a stretch read on its own. Asking for any other byte throws Overrun.
    BlockReader(const char* data, std::size_t first, std::size_t end, std::size_t length)
        : win_(data), winFirst_(first), winEnd_(end), length_(length) {}

    // The block's `length` bytes from `offset` of `file`, read into `room`
    // (`roomBytes` long, at least 64) a window at a time.
    BlockReader(const OpenedFile& file, std::uint64_t offset, std::size_t length, char* room,
                std::size_t roomBytes)
        : win_(room),
          winFirst_(1),
          winEnd_(1),
          length_(length),
          file_(&file),
          offset_(offset),
          room_(room),
          roomBytes_(roomBytes) {}

    // Called with the window's memory before the window moves or grows.
    void BeforeMove(std::function<void(const char*, const char*)> beforeMove) {
        beforeMove_ = std::move(beforeMove);
    }

    std::size_t length() const { return length_; }
    std::size_t pos() const { return pos_; }
    void MoveTo(std::size_t pos) { pos_ = pos; }

    // The bytes from the reading position on, when `n` of them are in
    // memory and before the end; else null.
    [[gnu::always_inline]] const char* Ahead(std::size_t n) const {
        return pos_ >= winFirst_ && pos_ + n <= winEnd_ && pos_ + n <= length_ ? win_ + (pos_ - winFirst_)
                                                                              : nullptr;
    }
    // Moves the reading position `n` bytes on, onto the byte `c`.
    void Skip(std::size_t n, int c) {
        pos_ += n;
        current_ = c;
    }

    // Forward search for "t= ", the clock's marker: a byte that does not
    // continue it (a "t" too) starts again from nothing. True when found;
    // `current` is then the marker's blank.
    [[gnu::always_inline]] bool FindClock() {
        // A line as the generator writes it: the marker 11 bytes past the
        // close of the line before, no "t" ahead of it. Taken whole, it spares
        // a search each line.
        constexpr std::size_t lineStartSize = GeneratedLineStart.size();
        if (pos_ + lineStartSize <= length_ &&
            SameBytes(At(pos_, pos_ + lineStartSize), GeneratedLineStart.data(), lineStartSize)) {
            pos_ += lineStartSize;
            current_ = ' ';
            return true;
        }
        static constexpr char marker[] = "t= ";
        int state = 0;
        while (state != 3 && pos_ < length_) {
            if (state == 0) {
                // Only a "t" leaves state 0: jump to the next one.
                const std::size_t t = Next('t', pos_);
                if (t == 0) {
                    current_ = Byte(length_ - 1);
                    pos_ = length_;
                    return false;
                }
                pos_ = t;
            }
            current_ = Byte(pos_);
            state = current_ == marker[state] ? state + 1 : 0;
            ++pos_;
        }
        return state == 3;
    }

    // CollectUntil(' ') right after FindName found the literal, when the
    // bytes from the current one are `expected` (no blank in it) and a
    // blank: the name the line is most likely to hold is compared, not
    // searched for. Otherwise the search.
    [[gnu::always_inline]] std::string_view CollectName(std::string_view expected) {
        const std::size_t n = expected.size();
        if (n != 0 && pos_ - 1 + n < length_ && SameBytes(At(pos_ - 1, pos_ + n), expected.data(), n) &&
            At(pos_ - 1, pos_ + n)[n] == ' ') {
            const std::size_t from = pos_ - 1;
            current_ = ' ';
            pos_ += n;
            return Span(from, from + n);
        }
        return CollectUntil(' ');
    }

    // The current byte and those after it up to, not including, `stop`, or
    // up to where `pos` reaches L. Afterwards `current` is the stop byte.
    [[gnu::always_inline]] std::string_view CollectUntil(char stop) {
        if (current_ == stop || pos_ >= length_) return {};
        // The current byte is the one before `pos` here: the search that came
        // before read it last.
        const std::size_t from = pos_ - 1;
        pin_ = from;
        std::size_t end = Next(stop, pos_);
        if (end == 0) {
            current_ = Byte(length_ - 1);
            pos_ = length_;
            end = length_ - 1;
        } else {
            current_ = stop;
            pos_ = end + 1;
        }
        const std::string_view text = Span(from, end);
        pin_ = 0;
        return text;
    }

    // Search for "setreg[name= ": collecting starts at the first "s" and never
    // starts again, so it succeeds only when that "s" begins the literal.
    // Otherwise it collects to the end of the file and finds nothing.
    // Afterwards `current` is the name's first byte.
    [[gnu::always_inline]] bool FindName() {
        static constexpr char literal[] = "setreg[name= ";
        constexpr std::size_t size = sizeof literal - 1;
        if (pos_ >= length_) return false;
        // As the generator writes it: three blanks and a backslash, then the
        // literal, no "s" ahead of it.
        static constexpr char lineMiddle[] = "   \\setreg[name= ";
        constexpr std::size_t lineMiddleSize = sizeof lineMiddle - 1;
        if (current_ != 's' && pos_ + lineMiddleSize < length_ &&
            SameBytes(At(pos_, pos_ + lineMiddleSize), lineMiddle, lineMiddleSize)) {
            pos_ += lineMiddleSize + 1;
            current_ = Byte(pos_ - 1);
            return true;
        }
        // Turn k looks at the current byte (k = 0) or the byte at pos + k - 1,
        // while pos + k is below L.
        const std::size_t turns = length_ - pos_;
        std::size_t first;  // the turn that sees the first "s"
        if (current_ == 's') {
            first = 0;
        } else {
            const std::size_t s = turns > 1 ? Next('s', pos_, pos_ + turns - 1) : 0;
            first = s == 0 ? turns : s - pos_ + 1;
        }
        if (first + size - 1 < turns && Matches(first, literal)) {
            pos_ += first + size;
            current_ = Byte(pos_ - 1);
            return true;
        }
        current_ = Byte(length_ - 1);
        pos_ = length_;
        return false;
    }

    // The value: past the first "f" from here, the three bytes after it
    // skipped by count, then up to the next "]". Afterwards `pos` is on the
    // "]" (or at L or beyond when there is none).
    [[gnu::always_inline]] std::string_view ReadValue() {
        // As the generator writes it: the "f" two blanks on.
        if (current_ != 'f' && pos_ + 2 < length_ && SameBytes(At(pos_, pos_ + 3), "  f", 3)) {
            pos_ += 3;
            current_ = 'f';
        }
        if (current_ != 'f' && pos_ < length_) {
            const std::size_t f = Next('f', pos_);
            pos_ = f == 0 ? length_ : f + 1;
            current_ = f == 0 ? Byte(length_ - 1) : 'f';
        }
        pos_ += 3;
        current_ = Byte(pos_);
        if (current_ == ']' || pos_ >= length_) return {};
        const std::size_t from = pos_;
        pin_ = from;
        std::size_t close = Next(']', pos_);
        if (close == 0) {
            pos_ = length_;
            current_ = Byte(length_);
            close = length_;
        } else {
            pos_ = close;
            current_ = ']';
        }
        const std::string_view value = Span(from, close);
        pin_ = 0;
        return value;
    }

private:
    // The bytes at positions [from, to), to at most L + 1, in memory.
    [[gnu::always_inline]] const char* At(std::size_t from, std::size_t to) {
        if (from >= winFirst_ && to <= winEnd_) return win_ + (from - winFirst_);
        return Move(from, to);
    }
    // Moves the window to hold [from, to) and the text being collected. No
    // byte below `from` is asked for afterwards but that text's.
    [[gnu::noinline]] const char* Move(std::size_t from, std::size_t to) {
        if (file_ == nullptr) throw Overrun{};
        const std::size_t keep = pin_ != 0 ? std::min(from, pin_) : from;
        if (beforeMove_) beforeMove_(room_, room_ + roomBytes_);
        if (to - keep > roomBytes_ / 2) {
            roomBytes_ = std::max(2 * roomBytes_, 2 * (to - keep));
            grown_ = std::make_unique_for_overwrite<char[]>(roomBytes_);
            room_ = grown_.get();
        }
        const std::size_t count = std::min(roomBytes_, length_ + 1 - keep);
        if (Outcome<void> read = file_->ReadAt(offset_ + keep - 1, room_, count); !read)
            throw BlockReadFailure{read.error()};
        win_ = room_;
        winFirst_ = keep;
        winEnd_ = keep + count;
        return win_ + (from - winFirst_);
    }
    [[gnu::always_inline]] int Byte(std::size_t pos) {
        return pos >= 1 && pos <= length_ ? static_cast<unsigned char>(*At(pos, pos + 1)) : NoByte;
    }
    // Bytes at positions [from, to).
    [[gnu::always_inline]] std::string_view Span(std::size_t from, std::size_t to) { return {At(from, to), to - from}; }
    // The position of the first `c` in [from, to) (to defaults to L), or 0.
    // In a script the byte sought is a few bytes away: the next 16 bytes are
    // compared at once (a byte loop there mispredicts on every line) before
    // handing a longer stretch to memchr. No byte at or past `to` is read.
    [[gnu::always_inline]] std::size_t Next(char c, std::size_t from, std::size_t to = 0) {
        if (to == 0) to = length_;
        while (from < to) {
            const char* const base = At(from, from + 1) - (from - winFirst_);  // the window's first byte
            const std::size_t stop = std::min(to, winEnd_);
            if (const std::size_t found = NextIn(c, base, from, stop)) return found;
            from = stop;
        }
        return 0;
    }
    // Next over [from, to) within the window, whose first byte is at `base`.
    [[gnu::always_inline]] std::size_t NextIn(char c, const char* base, std::size_t from,
                                              std::size_t to) const {
        const char* const data = base - winFirst_ + 1;  // where position 1 would be
        const char* const at = FindByte(data + from - 1, data + to - 1, c);
        return at == nullptr ? 0 : static_cast<std::size_t>(at - data) + 1;
    }
    // Whether the bytes seen by turns first, first + 1, … spell `literal`.
    template <std::size_t N>
    bool Matches(std::size_t first, const char (&literal)[N]) {
        if (first == 0)
            return current_ == literal[0] && SameBytes(At(pos_, pos_ + N - 2), literal + 1, N - 2);
        return SameBytes(At(pos_ + first - 1, pos_ + first + N - 2), literal, N - 1);
    }

    const char* win_;       // the byte at position winFirst_
    std::size_t winFirst_;  // the window holds positions [winFirst_, winEnd_)
    std::size_t winEnd_;
    std::size_t length_;
    const OpenedFile* file_ = nullptr;
    std::uint64_t offset_ = 0;  // the file offset of position 1
    char* room_ = nullptr;
    std::size_t roomBytes_ = 0;
    std::unique_ptr<char[]> grown_;
    std::size_t pin_ = 0;  // the first position of the text being collected, or 0
    std::function<void(const char*, const char*)> beforeMove_;
    std::size_t pos_ = 0;
    int current_ = NoByte;
};

// One line's clock time, or none when no clock marker is left.
struct Clock {
    bool found;
    float time;
};

// Reads each line's clock time. The lines of one frame repeat the same time
// text, so a text equal to the last one is not converted again.
class ClockReader {
public:
    [[gnu::always_inline]] Clock Read(BlockReader& reader) {
        const bool found = reader.FindClock();
        return {found, Time(reader.CollectUntil(']'))};
    }

    // The last clock text converted (empty before the first), and its time.
    std::string_view LastText() const { return lastText_; }
    float LastTime() const { return lastTime_; }

    // The time a clock text gives.
    [[gnu::always_inline]] float Time(std::string_view text) {
        if (!known_ || !SameText(text, lastText_)) {
            known_ = true;
            lastText_.assign(text);  // a copy: the window may move before the next line
            lastTime_ = ToSingle(NumericValue(text));
        }
        return lastTime_;
    }

private:
    bool known_ = false;
    std::string lastText_;
    float lastTime_ = 0;
};

// The line's register, or -1 when its name is missing or no cell holds it.
// `name` receives the name read.
[[gnu::always_inline]] inline int ReadRegister(BlockReader& reader, NameTable& table,
                                               std::string_view& name) {
    const bool found = reader.FindName();
    // The lookup takes the local copy: read back from `name`, the two words
    // just stored would be loaded as one, which stalls.
    const std::string_view read = found ? reader.CollectName(table.Expected()) : reader.CollectUntil(' ');
    name = read;
    return found ? table.Find(read) : -1;
}

// Sends the bar's value for the reading position when its whole part changed.
// The value only grows with the position, so the position at which it next
// changes is worked out once per change instead of the value on every line.
class Progress {
public:
    Progress(const ProgressFn& report, std::size_t origin, std::size_t length)
        : report_(report), origin_(origin), span_(length > origin ? length - origin : 0) {
        if (!report_ || span_ == 0) next_ = NoChange;
        else next_ = FirstBeyond(origin_);
    }

    void At(std::size_t pos) {
        if (pos < next_) return;
        shown_ = Whole(pos);
        report_(shown_);
        next_ = FirstBeyond(pos);
    }

    // What At shows for line ends from `first` to `last`, each less than
    // half a whole step past the one before: every step between them then
    // holds a line end, and the first one in it shows the step's own value,
    // which At(next_) shows too.
    // False when `stop` is set after a value was shown: a stop asked for on
    // seeing the bar stops the load, as between lines.
    bool Replay(std::size_t first, std::size_t last, const StopFlag* stop) {
        const auto stopped = [stop] { return stop && stop->load(std::memory_order_relaxed); };
        if (first >= next_) {
            At(first);
            if (stopped()) return false;
        }
        while (next_ <= last) {
            At(next_);
            if (stopped()) return false;
        }
        return true;
    }

private:
    static constexpr std::size_t NoChange = std::numeric_limits<std::size_t>::max();

    int Whole(std::size_t pos) const {
        const double fraction = (static_cast<double>(pos) - static_cast<double>(origin_)) / static_cast<double>(span_);
        const float value = static_cast<float>(fraction * 99);
        return value < 0 ? 0 : value > 99 ? 99 : static_cast<int>(value);
    }
    // The first position after `pos` whose whole value differs from the one
    // shown; reading never goes more than 3 bytes past the end.
    std::size_t FirstBeyond(std::size_t pos) const {
        std::size_t low = pos + 1, high = origin_ + span_ + 4;
        if (Whole(high - 1) == shown_) return NoChange;
        while (low < high) {
            const std::size_t middle = low + (high - low) / 2;
            if (Whole(middle) == shown_) low = middle + 1;
            else high = middle;
        }
        return low;
    }

    const ProgressFn& report_;
    std::size_t origin_;
    std::size_t span_;
    int shown_ = 0;
    std::size_t next_;
};

// Whether a stop was asked for; looked at once every so many lines.
class StopCheck {
public:
    explicit StopCheck(const StopFlag* stop) : stop_(stop) {}
    bool Stopped() {
        if (stop_ == nullptr || ++lines_ % 1024 != 0) return false;
        return stop_->load(std::memory_order_relaxed);
    }

private:
    const StopFlag* stop_;
    std::size_t lines_ = 0;
};

// What a block's first keyframe gave: the initial texts and unknown names,
// and the time of the line that ended it (its clock already read), if any.
struct HeadLines {
    LoadedAnimation loaded;
    std::optional<float> handedOver;
};

// Reads the first keyframe from the block's start: every line at the first
// clock time. It ends at the first later time, or when no clock is left in
// the file. False when stopped.
bool ReadHead(BlockReader& reader, NameTable& table, StopCheck& stopCheck, ClockReader& clocks,
              HeadLines& head) {
    constexpr std::size_t blockStart = 1;
    LoadedAnimation& loaded = head.loaded;
    reader.MoveTo(blockStart);
    const double firstValue = NumericValue(reader.FindClock() ? reader.CollectUntil(']') : std::string_view());
    const float firstTime = ToSingle(firstValue);
    loaded.startTime = DecimalText(firstValue);

    reader.MoveTo(blockStart);
    for (;;) {
        if (stopCheck.Stopped()) return false;
        const Clock clock = clocks.Read(reader);
        if (!clock.found) break;
        if (clock.time != firstTime) {
            head.handedOver = clock.time;
            break;
        }
        std::string_view name;
        const int r = ReadRegister(reader, table, name);
        if (r < 0) {
            NoteUnknownName(loaded, name);
            continue;
        }
        loaded.initial[r] = DecodeCodePage(reader.ReadValue());
    }
    return true;
}

// What a run of later lines gave. Its first change of time counts against
// whatever time came before it, which a run read on its own does not know:
// it is counted here, and taken back when joined to a time equal to it.
struct LaterLines {
    std::size_t timeCount = 0;  // changes of clock time (other than to 0)
    float firstTime = 0;        // the time of the first change
    float lastTime = 0;         // the time of the last change
    bool handedOverLeft = false;  // no line was read to take the handed-over time
};

// The frame intervals of a block, its runs of later lines joined in order.
struct FrameCount {
    std::size_t timeCount = 0;
    float lastTime = 0;
    void Follow(const LaterLines& lines) {
        if (lines.timeCount == 0) return;
        timeCount += lines.timeCount - (lines.firstTime != lastTime ? 0 : 1);
        lastTime = lines.lastTime;
    }
};

// A line as the generator writes it, read from the "]" closing the line
// before: its clock and value texts, whether the clock text is the one
// expected, and how far on the "]" closing its value lies.
struct GeneratedLine {
    std::string_view clock, value;
    bool expectedClock = false;
    std::size_t end = 0;
};

// What a generated line most likely holds besides its name: the clock text
// of the line before, and the length of its register's last value text (0
// when none is known).
struct LineGuess {
    std::string_view clock;
    std::size_t valueLength = 0;
};

// How many bytes a line read whole must lie within.
constexpr std::size_t GeneratedLineRoom = 256;

// Whether the GeneratedLineRoom bytes at `p` begin with a line as the
// generator writes it, naming `expected` (not empty, no blank): every fixed
// byte in place and every text ending within them. Then `line` holds what the
// searches would find in it, found without them; otherwise the searches read
// the line.
//
// Where the line holds `guess`, the bytes are compared with it: where the
// next line begins then follows from lengths known beforehand, not from a
// search of this line's bytes, so the reading of one line need not wait for
// the last.
[[gnu::always_inline]] inline bool ReadGeneratedLine(const char* p, std::string_view expected, const LineGuess& guess,
                                                     GeneratedLine& line) {
    static constexpr std::string_view middle = "   \\setreg[name= ";
    const char* const end = p + GeneratedLineRoom;
    if (expected.empty() || !SameBytes(p, GeneratedLineStart.data(), GeneratedLineStart.size())) return false;
    // The clock text, from the marker's blank on, holds no "]": where the
    // guessed one stands with a "]" after it, that "]" is the first.
    const char* const clock = p + GeneratedLineStart.size() - 1;
    const std::size_t guessed = guess.clock.size();
    line.expectedClock = guessed != 0 && guessed < GeneratedLineRoom / 2 && clock[guessed] == ']' &&
                         SameBytes(clock, guess.clock.data(), guessed);
    const char* const clockEnd = line.expectedClock ? clock + guessed : FindByte(clock, end, ']');
    if (clockEnd == nullptr) return false;
    const char* const name = clockEnd + 1 + middle.size();
    const char* const afterName = name + expected.size();
    // The blank after the name, two more and the "f", then three bytes skipped.
    const char* const value = afterName + 7;
    if (value >= end || !SameBytes(clockEnd + 1, middle.data(), middle.size()) ||
        !SameBytes(name, expected.data(), expected.size()) || !SameBytes(afterName, "   f", 4))
        return false;
    const char* valueEnd;
#ifdef __SSE2__
    // The guessed length holds when the first "]" of the 16 bytes from the
    // value stands right after it.
    if (const std::size_t n = guess.valueLength; n != 0 && n < 16 && value + 16 <= end) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(value));
        const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(']'))));
        valueEnd = (hits & ((2u << n) - 1)) == (1u << n) ? value + n : FindByte(value, end, ']');
    } else
#endif
    {
        valueEnd = *value == ']' ? value : FindByte(value, end, ']');
    }
    if (valueEnd == nullptr) return false;
    line.clock = std::string_view(p + GeneratedLineStart.size() - 1, static_cast<std::size_t>(clockEnd - p) - 13);
    line.value = std::string_view(value, static_cast<std::size_t>(valueEnd - value));
    line.end = static_cast<std::size_t>(valueEnd - p);
    return true;
}

// Every later line from the reading position until it reaches `until`: its
// value becomes the register's final value (only the last one is
// converted), and each change of clock time (other than to 0) counts one
// frame interval. `handedOver` is the first line's time when its clock was
// read already. `ends` hears where each line ended. False when stopped.
template <class LineEnds>
bool ReadLaterLines(BlockReader& reader, NameTable& table, StopCheck& stopCheck, ClockReader& clocks,
                    std::size_t until, const float* handedOver, LaterLines& lines,
                    std::array<std::optional<std::string_view>, RegisterCount>& finalValue, LineEnds& ends) {
    // Not a number: no time equals it, so the first change always counts.
    float lastTime = std::numeric_limits<float>::quiet_NaN();
    std::size_t timeCount = 0;
    const auto count = [&](float time) {
        if (time != 0 && time != lastTime) {
            if (timeCount++ == 0) lines.firstTime = time;
            lastTime = time;
        }
    };
    while (reader.pos() < until) {
        if (stopCheck.Stopped()) return false;
        GeneratedLine line;
        if (const char* at = reader.Ahead(GeneratedLineRoom); at != nullptr && handedOver == nullptr) {
            const int r = table.ExpectedRegister();
            const LineGuess guess{clocks.LastText(), r >= 0 && finalValue[r] ? finalValue[r]->size() : 0};
            if (ReadGeneratedLine(at, table.Expected(), guess, line)) {
                count(line.expectedClock ? clocks.LastTime() : clocks.Time(line.clock));
                finalValue[table.FoundExpected()] = line.value;
                reader.Skip(line.end, ']');
                ends.At(reader.pos());
                continue;
            }
        }
        float time;
        if (handedOver != nullptr) {
            time = *handedOver;
            handedOver = nullptr;
        } else {
            time = clocks.Read(reader).time;
        }
        count(time);
        std::string_view name;
        const int r = ReadRegister(reader, table, name);
        if (r >= 0) finalValue[r] = reader.ReadValue();
        ends.At(reader.pos());
    }
    lines.timeCount = timeCount;
    lines.lastTime = lastTime;
    lines.handedOverLeft = handedOver != nullptr;
    return true;
}

// The load's texts from the first keyframe, the final values and the frame
// intervals.
LoadedAnimation FinishLoad(LoadedAnimation loaded,
                           const std::array<std::optional<std::string_view>, RegisterCount>& finalValue,
                           const FrameCount& frames) {
    for (int r = 0; r < RegisterCount; ++r)
        if (finalValue[r]) loaded.final[r] = DecimalText(NumericValue(*finalValue[r]));

    // Duration from the start time as its text reads back; no later clock
    // time means no duration at all.
    const double duration =
        frames.timeCount == 0 ? 0 : static_cast<double>(frames.lastTime) - NumericValue(loaded.startTime);
    if (std::isfinite(duration)) {
        loaded.dKeyframe = DecimalText(duration);
        const double written = NumericValue(*loaded.dKeyframe);
        if (written != 0) loaded.framesPSec = DecimalText(static_cast<double>(frames.timeCount) / written);
    }
    return loaded;
}

// The load from the block's start: `reader` holds the block's bytes in memory,
// from the byte where the forward reading begins to the file's end. None when
// stopped.
std::optional<LoadedAnimation> LoadBlock(BlockReader& reader,
                                         const std::array<std::string, RegisterCount>& names,
                                         const ProgressFn& progress, const StopFlag* stop) {
    NameTable table(names);
    StopCheck stopCheck(stop);
    ClockReader clocks;
    HeadLines head;
    if (!ReadHead(reader, table, stopCheck, clocks, head)) return std::nullopt;

    LaterLines lines;
    std::array<std::optional<std::string_view>, RegisterCount> finalValue;
    Progress bar(progress, 1, reader.length());
    const float* handedOver = head.handedOver ? &*head.handedOver : nullptr;
    if (!ReadLaterLines(reader, table, stopCheck, clocks, reader.length(), handedOver, lines, finalValue, bar))
        return std::nullopt;
    FrameCount frames;
    frames.Follow(lines);
    return FinishLoad(std::move(head.loaded), finalValue, frames);
}

// Sends the share of the file read so far when its whole part changed.
class ReadingShare {
public:
    ReadingShare(const std::function<void(int)>& report, std::uint64_t length) : report_(report), length_(length) {}
    void Held(std::uint64_t bytes) {
        if (!report_ || length_ == 0) return;
        const int share = static_cast<int>(static_cast<double>(bytes) / static_cast<double>(length_) * 99);
        if (share <= shown_) return;  // a second reading of the tail repeats no share
        shown_ = share;
        report_(share);
    }

private:
    const std::function<void(int)>& report_;
    std::uint64_t length_;
    int shown_ = 0;
};

// Room for the file's tail, filled from its end towards its start. A fresh
// 4 KiB page costs a fault when it is first written, and for a block of a
// hundred megabytes those faults cost more than reading the bytes: below its
// top `smallTop` bytes the room is taken in huge pages where the kernel has
// them, one fault per 2 MiB, and reading through it then misses the address
// cache far less. With the top 2 MiB in small pages, a short last block (the
// usual case) touches only the few pages it is read into. The room ends on a
// huge-page boundary, so its huge pages lie whole inside it.
class TailRoom {
public:
    explicit TailRoom(std::size_t bytes, std::size_t smallTop = HugePage) : bytes_(bytes) {
        if (bytes_ > smallTop) {
            mappedBytes_ = bytes_ + 2 * HugePage;
            void* mapped =
                ::mmap(nullptr, mappedBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (mapped != MAP_FAILED) {
                mapped_ = static_cast<char*>(mapped);
                char* const end = AlignDown(mapped_ + mappedBytes_);
                data_ = end - bytes_;
                char* const huge = AlignDown(data_);
                // Only advice: where huge pages are not to be had it fails and
                // the room stays in small pages.
                ::madvise(huge, static_cast<std::size_t>(AlignDown(end - smallTop) - huge), MADV_HUGEPAGE);
                return;
            }
        }
        small_ = std::make_unique_for_overwrite<char[]>(bytes_);
        data_ = small_.get();
    }
    TailRoom(const TailRoom&) = delete;
    TailRoom& operator=(const TailRoom&) = delete;
    ~TailRoom() {
        if (mapped_ != nullptr) ::munmap(mapped_, mappedBytes_);
    }

    char* data() const { return data_; }
    // Whether huge pages were asked for (the kernel may still not have them).
    bool mapped() const { return mapped_ != nullptr; }

private:
    static constexpr std::size_t HugePage = std::size_t{2} << 20;
    static char* AlignDown(char* at) { return at - (reinterpret_cast<std::uintptr_t>(at) & (HugePage - 1)); }

    std::size_t bytes_;
    char* data_ = nullptr;
    char* mapped_ = nullptr;
    std::size_t mappedBytes_ = 0;
    std::unique_ptr<char[]> small_;
};

// Where the lines of a stretch ended, as runs in which each end lies less
// than `gap` past the one before. What the bar of a block's lines shows
// depends on the block's start, which is found only after the stretches
// above it were read: from these runs it is shown afterwards as a reading
// from the start would have shown it (see Progress::Replay).
class LineEndRuns {
public:
    explicit LineEndRuns(std::size_t gap) : gap_(std::max<std::size_t>(gap, 1)) {}
    void At(std::size_t pos) {
        if (pos - last_ >= gap_ || runs_.empty()) runs_.push_back({pos, pos});
        else runs_.back().second = pos;
        last_ = pos;
    }
    const std::vector<std::pair<std::size_t, std::size_t>>& runs() const { return runs_; }

private:
    std::size_t gap_;
    std::size_t last_ = 0;
    std::vector<std::pair<std::size_t, std::size_t>> runs_;
};

// The final value texts of a stretch's registers, kept as copies in one
// string (register, length, text, one after another): a long block has
// hundreds of stretches, and a string per register would take most of the
// memory a load touches.
class KeptTexts {
public:
    void Reserve(std::size_t bytes) { packed_.reserve(bytes); }
    void Add(int r, std::string_view text) {
        const auto length = static_cast<std::uint32_t>(text.size());
        packed_.push_back(static_cast<char>(r));
        packed_.append(reinterpret_cast<const char*>(&length), sizeof length);
        packed_.append(text);
    }
    template <class Each>
    void ForEach(Each each) const {
        for (std::size_t at = 0; at < packed_.size();) {
            const int r = static_cast<unsigned char>(packed_[at]);
            std::uint32_t length = 0;
            std::memcpy(&length, packed_.data() + at + 1, sizeof length);
            each(r, std::string_view(packed_.data() + at + 1 + sizeof length, length));
            at += 1 + sizeof length + length;
        }
    }

private:
    std::string packed_;
};

// A stretch of a long block, read from the piece of the file that holds it
// while the file is read further towards its start. A stretch other than the
// block's first begins where a line as the generator writes it would begin
// ("]" closing the line before, then the next line's clock), and reads later
// lines until it reaches the next stretch's beginning. Joined in order, the
// stretches give what one reading from the block's start gives where each
// really ended where the next began; elsewhere the lines are read again from
// the file (see LoadFromStretches). Positions count from the file's first
// byte as 1.
struct Stretch {
    // Set before the stretch is handed over.
    const char* bytes = nullptr;  // the bytes at positions [first, top]
    std::size_t first = 0, top = 0;
    std::size_t from = 0;   // where its reading begins (the block's start for the first stretch)
    std::size_t until = 0;  // the next stretch's beginning, or the file's length
    std::size_t length = 0;
    bool head = false;  // the block's first stretch, its first keyframe read too
    std::size_t gap = 1;

    // Set once it was read.
    bool read = false;
    bool stopped = false;
    bool overran = false;  // it needed bytes it was not given
    std::size_t reached = 0;
    std::unique_ptr<HeadLines> headLines;  // the first stretch's
    LaterLines lines;
    KeptTexts finalText;  // registers with a value, and its text
    std::vector<std::pair<std::size_t, std::size_t>> ends;
};

// Reads `stretch`, which sees the bytes from its beginning to a little past
// its end.
void ReadStretch(Stretch& stretch, NameTable& table, const StopFlag* stop) {
    StopCheck stopCheck(stop);
    ClockReader clocks;
    // The first stretch counts from the block's start, as the reading of a
    // whole block does.
    const std::size_t shift = stretch.head ? stretch.from - 1 : 0;
    const char* bytes = stretch.bytes + (stretch.from - stretch.first);
    BlockReader reader(bytes, stretch.from - shift, stretch.top + 1 - shift, stretch.length - shift);
    LineEndRuns ends(stretch.gap);
    std::array<std::optional<std::string_view>, RegisterCount> finalValue;
    const float* handedOver = nullptr;
    try {
        if (stretch.head) {
            stretch.headLines = std::make_unique<HeadLines>();
            if (!ReadHead(reader, table, stopCheck, clocks, *stretch.headLines)) {
                stretch.stopped = true;
                return;
            }
            if (stretch.headLines->handedOver) handedOver = &*stretch.headLines->handedOver;
        } else {
            reader.MoveTo(stretch.from);
        }
        if (!ReadLaterLines(reader, table, stopCheck, clocks, stretch.until - shift, handedOver, stretch.lines,
                            finalValue, ends)) {
            stretch.stopped = true;
            return;
        }
    } catch (const Overrun&) {
        stretch.overran = true;
        return;
    }
    stretch.reached = reader.pos() + shift;
    // The bytes are read over again once the stretch is done: its texts are
    // kept as copies.
    std::size_t kept = 0;
    for (int r = 0; r < RegisterCount; ++r)
        if (finalValue[r]) kept += 1 + sizeof(std::uint32_t) + finalValue[r]->size();
    stretch.finalText.Reserve(kept);
    for (int r = 0; r < RegisterCount; ++r)
        if (finalValue[r]) stretch.finalText.Add(r, *finalValue[r]);
    stretch.ends = ends.runs();
    for (auto& [a, b] : stretch.ends) {
        a += shift;
        b += shift;
    }
}

// Reads the stretches handed to it on a thread of its own, and on the
// loading thread while that waits for a room to read the file into: each
// thread takes the next stretch nobody took yet. Where no thread can be
// started, the loading thread reads them all.
class StretchReader {
public:
    StretchReader(const std::array<std::string, RegisterCount>& names, const StopFlag* stop)
        : tables_{NameTable(names), NameTable(names)}, stop_(stop) {}
    StretchReader(const StretchReader&) = delete;
    StretchReader& operator=(const StretchReader&) = delete;
    ~StretchReader() {
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    // Takes `stretch`, whose bytes stay untouched until it was read.
    void Add(std::unique_ptr<Stretch> stretch) {
        {
            const std::lock_guard lock(mutex_);
            stretches_.push_back(std::move(stretch));
        }
        changed_.notify_all();
        if (!thread_.joinable() && !threadless_) {
            try {
                thread_ = std::thread([this] { Work(); });
            } catch (const std::system_error&) {
                threadless_ = true;
            }
        }
    }

    std::size_t count() {
        const std::lock_guard lock(mutex_);
        return stretches_.size();
    }

    // Until the first `count` stretches handed over were read, reading
    // those nobody took yet.
    void WaitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        while (readBelow_ < count) {
            if (taken_ < stretches_.size()) ReadNext(lock, tables_[1]);
            else changed_.wait(lock);
        }
    }

    // Every stretch handed over, in the order they were (from the file's end
    // towards its start), once all were read.
    const std::vector<std::unique_ptr<Stretch>>& All() {
        WaitFor(count());
        return stretches_;
    }

private:
    // Takes the next stretch and reads it with the lock released.
    void ReadNext(std::unique_lock<std::mutex>& lock, NameTable& table) {
        const std::size_t index = taken_++;
        Stretch& next = *stretches_[index];
        lock.unlock();
        try {
            ReadStretch(next, table, stop_);
        } catch (...) {
            // Out of memory, say: the loading thread reads these lines again
            // from the file, where the failure is told.
            next.overran = true;
        }
        lock.lock();
        next.read = true;
        while (readBelow_ < stretches_.size() && stretches_[readBelow_]->read) ++readBelow_;
        changed_.notify_all();
    }

    void Work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return quit_ || taken_ < stretches_.size(); });
            if (taken_ >= stretches_.size()) return;
            ReadNext(lock, tables_[0]);
        }
    }

    // One name table for each thread: a table remembers the last name found.
    std::array<NameTable, 2> tables_;
    const StopFlag* stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Stretch>> stretches_;
    std::size_t taken_ = 0;      // stretches a thread took
    std::size_t readBelow_ = 0;  // all stretches below this one were read
    bool quit_ = false;
    bool threadless_ = false;
    std::thread thread_;
};

// The load of a long block from its stretches (handed over from the file's
// end towards its start, so the block's first stretch last). The reading
// goes from the block's start to its end: where it stands exactly at the
// beginning of a stretch that was read whole, it takes that stretch's result
// and goes on where the stretch ended; elsewhere it reads the block's lines
// from the file, a window at a time, up to the next stretch's beginning. So
// a stretch that begins mid-line, or needed bytes it was not given, costs a
// reading of its own bytes again, never a different result. None when
// stopped. A read that fails throws BlockReadFailure.
std::optional<LoadedAnimation> LoadFromStretches(const std::vector<std::unique_ptr<Stretch>>& stretches,
                                                 const OpenedFile& file, std::size_t blockStart,
                                                 std::size_t length, std::size_t windowBytes,
                                                 const std::array<std::string, RegisterCount>& names,
                                                 const ProgressFn& progress, const StopFlag* stop) {
    const std::size_t blockLength = length + 1 - blockStart;
    const auto inBlock = [blockStart](std::size_t pos) { return pos + 1 - blockStart; };
    std::vector<const Stretch*> order;
    for (auto s = stretches.rbegin(); s != stretches.rend(); ++s) order.push_back(s->get());

    NameTable table(names);
    StopCheck stopCheck(stop);
    ClockReader clocks;
    Progress bar(progress, 1, blockLength);
    FrameCount frames;
    // Final values: a stretch's kept text, or bytes in the file reader's
    // window, copied out before the window moves.
    std::array<std::optional<std::string_view>, RegisterCount> finalValue;
    std::array<std::string, RegisterCount> keptValue;
    std::optional<TailRoom> room;
    std::optional<BlockReader> reader;
    const auto fileReader = [&]() -> BlockReader& {
        if (!reader) {
            room.emplace(windowBytes, windowBytes >= (std::size_t{2} << 20) ? 0 : windowBytes);
            reader.emplace(file, blockStart - 1, blockLength, room->data(), windowBytes);
            reader->BeforeMove([&](const char* from, const char* to) {
                for (int r = 0; r < RegisterCount; ++r) {
                    std::optional<std::string_view>& value = finalValue[r];
                    if (!value || value->empty() || value->data() < from || value->data() >= to) continue;
                    keptValue[r].assign(*value);
                    value = keptValue[r];
                }
            });
        }
        return *reader;
    };
    const auto take = [&](const Stretch& stretch) {
        for (const auto& [a, b] : stretch.ends)
            if (!bar.Replay(inBlock(a), inBlock(b), stop)) return false;
        frames.Follow(stretch.lines);
        stretch.finalText.ForEach([&](int r, std::string_view text) { finalValue[r] = text; });
        return true;
    };

    LoadedAnimation head;
    std::optional<float> handedOver;  // the time of a line whose clock the file reader read
    std::size_t pos;                  // where the reading stands
    std::size_t next = 0;             // the next stretch in `order` to look at
    if (!order.empty() && order.front()->head && !order.front()->overran &&
        !order.front()->lines.handedOverLeft) {
        head = order.front()->headLines->loaded;
        if (!take(*order.front())) return std::nullopt;
        pos = order.front()->reached;
        next = 1;
    } else {
        BlockReader& lines = fileReader();
        HeadLines headLines;
        if (!ReadHead(lines, table, stopCheck, clocks, headLines)) return std::nullopt;
        head = std::move(headLines.loaded);
        handedOver = headLines.handedOver;
        pos = lines.pos() + blockStart - 1;
        next = !order.empty() && order.front()->head ? 1 : 0;
    }
    for (;;) {
        while (next < order.size() && (order[next]->from < pos || order[next]->overran)) ++next;
        if (next < order.size() && order[next]->from == pos && !handedOver) {
            if (!take(*order[next])) return std::nullopt;
            pos = order[next]->reached;
            ++next;
            continue;
        }
        if (pos >= length) break;
        BlockReader& lines = fileReader();
        if (lines.pos() != inBlock(pos)) lines.MoveTo(inBlock(pos));
        std::size_t until = next < order.size() ? inBlock(order[next]->from) : blockLength;
        // A line whose clock was read is read on, whatever comes next.
        if (handedOver) until = std::min(std::max(until, lines.pos() + 1), blockLength);
        LaterLines read;
        if (!ReadLaterLines(lines, table, stopCheck, clocks, until, handedOver ? &*handedOver : nullptr, read,
                            finalValue, bar))
            return std::nullopt;
        if (!read.handedOverLeft) handedOver.reset();
        frames.Follow(read);
        pos = lines.pos() + blockStart - 1;
    }
    return FinishLoad(std::move(head), finalValue, frames);
}

// The message for a last block larger than a load may hold.
std::string BlockTooLarge(const std::filesystem::path& path, std::uint64_t maxBytes) {
    return "The last block of " + QuotedPath(path.native()) + " is not loaded: it is larger than " +
           std::to_string(maxBytes >> 20) + " MB.";
}

// The backward search of a block longer than this asks the disk to read
// ahead of it, up to this much.
constexpr std::size_t ReadAheadFrom = std::size_t{1} << 20;
constexpr std::size_t ReadAheadMost = std::size_t{16} << 20;
// A window at least this long goes into a room taken whole in huge pages: its
// small pages' faults would cost more than clearing a huge page.
constexpr std::size_t HugeRoomFrom = std::size_t{512} << 10;

// How many bytes of the window above each window of the backward search
// keeps: the letters of the header word that can judge a candidate at its
// top (a longer run of them takes the whole tail instead).
constexpr std::size_t KeptAbove = std::size_t{4} << 10;


// The load with the file's whole tail in memory, from the end back to the
// block's first byte, each chunk doubling what is held: for the rare file
// whose header word is followed by a run of its own letters longer than a
// window keeps.
Outcome<LoadedAnimation> LoadFromWholeTail(const OpenedFile& file, std::size_t length,
                                           const std::array<std::string, RegisterCount>& names,
                                           const ProgressFn& progress, const LoadControl& control,
                                           ReadingShare& share) {
    using Result = Outcome<LoadedAnimation>;
    const auto stopped = [&control] { return control.stop && control.stop->load(std::memory_order_relaxed); };
    HeaderSearch search(length);
    // One buffer as large as the most a load may hold, filled from its end:
    // no chunk is copied twice, and pages never reached are never touched.
    const std::size_t capacity = static_cast<std::size_t>(std::min<std::uint64_t>(length, control.maxBytes));
    const TailRoom buffer(capacity);
    const auto tailAt = [&](std::size_t first) { return buffer.data() + capacity - (length + 1 - first); };
    std::size_t first = length + 1;
    std::optional<std::size_t> blockStart;
    while (!blockStart || first > *blockStart) {
        if (first > 1) {
            const std::size_t held = length + 1 - first;
            if (held >= control.maxBytes)
                return Result::Failure(BlockTooLarge(file.path(), control.maxBytes));
            const std::size_t more =
                std::min({std::max(held, std::max<std::size_t>(control.firstChunkBytes, 1)), first - 1,
                          static_cast<std::size_t>(control.maxBytes - held)});
            for (std::size_t done = 0; done < more;) {
                if (stopped()) return Result::Failure(ReadStoppedMessage);
                const std::size_t count = std::min(ReadChunkBytes, more - done);
                const std::size_t at = first - 1 - more + done;  // file offset of the chunk
                if (Outcome<void> read = file.ReadAt(at, tailAt(at + 1), count); !read)
                    return Result::Failure(read.error());
                done += count;
                share.Held(held + done);
            }
            first -= more;
        }
        if (!blockStart) {
            switch (search.Continue(tailAt(first), first)) {
            case HeaderSearch::Result::Found: blockStart = std::max<std::size_t>(search.pos(), 1); break;
            case HeaderSearch::Result::None: blockStart = 1; break;
            case HeaderSearch::Result::NeedMore:
            case HeaderSearch::Result::TooFar: break;
            }
        }
    }
    if (stopped()) return Result::Failure(ReadStoppedMessage);
    if (control.fileRead) control.fileRead();
    BlockReader reader(std::string_view(tailAt(*blockStart), length + 1 - *blockStart));
    std::optional<LoadedAnimation> loaded = LoadBlock(reader, names, progress, control.stop);
    if (!loaded) return Result::Failure(ReadStoppedMessage);
    return Result::Success(std::move(*loaded));
}

}  // namespace

std::string UnknownNameMessage(std::string_view nameUtf8) {
    std::string message = "Unable to find setreg ";
    message += nameUtf8;
    message += " on current form.  Will ignore this value";
    return message;
}

void NoteUnknownName(LoadedAnimation& loaded, std::string_view nameBytes) {
    ++loaded.unknownNameCount;
    if (loaded.unknownNames.size() >= ListedUnknownNames) return;
    // One byte is one character in the code page: a name longer than a
    // message shows is decoded only as far as it is shown.
    loaded.unknownNames.push_back(ShownName(DecodeCodePage(nameBytes.substr(0, ShownNameChars + 1))));
}

bool HasPositiveTiming(const LoadedAnimation& loaded) {
    const auto positive = [](const std::optional<std::string>& text) { return text && NumericValue(*text) > 0; };
    return positive(loaded.dKeyframe) && positive(loaded.framesPSec);
}

std::vector<std::string> LoadMessages(const LoadedAnimation& loaded) {
    std::vector<std::string> messages;
    if (loaded.unknownNameCount == 1) {
        messages.push_back(UnknownNameMessage(loaded.unknownNames.front()));
    } else if (loaded.unknownNameCount > 1) {
        std::string names;
        for (const std::string& name : loaded.unknownNames) names += (names.empty() ? "" : ", ") + name;
        const std::size_t unlisted = loaded.unknownNameCount - loaded.unknownNames.size();
        if (unlisted > 0) names += " and " + std::to_string(unlisted) + " more";
        messages.push_back("Unable to find setreg " + names + " on current form.  Will ignore these " +
                           std::to_string(loaded.unknownNameCount) + " values");
    }
    if (!HasPositiveTiming(loaded)) {
        messages.push_back("The block's duration (" + ShownName(loaded.dKeyframe.value_or("none")) +
                           ") or frame rate (" + ShownName(loaded.framesPSec.value_or("none")) +
                           ") is not above 0, so the start time, the time between keyframes and the frames "
                           "per second were left as they were.");
    }
    return messages;
}

LoadedAnimation LoadLastAnimation(std::string_view file, const std::array<std::string, RegisterCount>& names,
                                  const ProgressFn& progress) {
    // The block starts just before the last "Haptek"; a file without one (or
    // with it at its very start) is read from its first byte.
    HeaderSearch search(file.size());
    search.Continue(file.data(), 1);
    const std::size_t blockStart = search.pos() > 0 ? search.pos() : 1;
    BlockReader reader(file.substr(std::min(blockStart - 1, file.size())));
    return *LoadBlock(reader, names, progress, nullptr);
}

Outcome<LoadedAnimation> LoadLastAnimationFromFile(std::string_view activeFile,
                                                   const std::array<std::string, RegisterCount>& names,
                                                   const ProgressFn& progress, const LoadControl& control) {
    using Result = Outcome<LoadedAnimation>;
    if (activeFile.empty()) return Result::Failure(std::string(NoFileToLoadMessage));
    const std::filesystem::path path{PathBytes(activeFile)};
    Outcome<OpenedFile> opened = OpenedFile::Open(path);
    if (!opened) return Result::Failure(opened.error());
    const OpenedFile& file = opened.value();
    const auto stopped = [&control] { return control.stop && control.stop->load(std::memory_order_relaxed); };
    if (file.size() > std::numeric_limits<std::size_t>::max() / 2)
        return Result::Failure(TooLargeMessage(path, control.maxBytes));
    const auto length = static_cast<std::size_t>(std::min(file.size(), control.fileEnd));

    // The block is found by the backward search over the file's tail, read
    // from the end in windows growing towards its start: plain reads into
    // memory, so a file cut short meanwhile gives a message, never a fault.
    // Each window doubles what has been read, up to the window's size, so a file of
    // many short blocks is read about its last block only. A window keeps the
    // first bytes of the one above it, which judge a candidate at its top.
    ReadingShare share(control.reading, length);
    const std::size_t windowBytes = std::max<std::size_t>(control.windowBytes, 64);
    const std::size_t roomBytes = std::min(length, windowBytes) + KeptAbove;
    // Rooms taken in turn: while the stretches of the windows in two of them
    // are read, the next window is read into the third. A window lies at its
    // room's top, so the short windows read first touch only the top's small
    // pages.
    std::array<std::optional<TailRoom>, 3> rooms;
    std::array<std::size_t, 3> roomStretches{};  // stretches handed over when the room was last used
    std::optional<StretchReader> stretches;
    const char* at = nullptr;  // the byte at position `first`
    int room = -1;
    HeaderSearch search(length);
    std::size_t first = length + 1, top = length;  // the room holds [first, top]
    std::size_t lastFrom = length;  // where the stretch above begins, or the file's length
    std::optional<std::size_t> blockStart;
    std::size_t more = 0;  // the bytes the last window read
    std::size_t adviseFrom = length;  // the file offset from which the disk was asked to read ahead
    // Whether a window needed the disk. Until one does, the file's tail is
    // taken to be in memory: asking the disk for what is there costs a walk
    // of the system's pages, about a twentieth of reading them.
    bool cold = false;
    while (!blockStart || first > *blockStart) {
        if (first > 1) {
            const std::size_t held = length + 1 - first;
            if (held >= control.maxBytes) return Result::Failure(BlockTooLarge(path, control.maxBytes));
            more =
                std::min({std::max(held, std::max<std::size_t>(control.firstChunkBytes, 1)), first - 1,
                          static_cast<std::size_t>(control.maxBytes - held), windowBytes});
            const std::size_t kept = std::min(KeptAbove, top + 1 - first);
            // A long block not in memory: the disk is asked for the bytes
            // below the window before they are read, as many as were read so
            // far, so that it reads them while the lines above are read.
            const std::size_t bottom = first - 1 - more;  // the window's file offset
            const std::size_t ahead = bottom - std::min(bottom, std::min(held, ReadAheadMost));
            if (cold && held >= ReadAheadFrom && ahead < adviseFrom) {
                file.WillNeed(ahead, std::min(adviseFrom, bottom) - ahead);
                adviseFrom = ahead;
            }
            room = (room + 1) % static_cast<int>(rooms.size());
            if (stretches) stretches->WaitFor(roomStretches[room]);
            // The first windows, short, go into the rooms' small pages; once
            // the windows are long, each room is taken again in huge pages.
            if (!rooms[room] || (more >= HugeRoomFrom && !rooms[room]->mapped()))
                rooms[room].emplace(roomBytes, more >= HugeRoomFrom ? 0 : std::size_t{2} << 20);
            char* const into = rooms[room]->data() + roomBytes - (more + kept);
            if (kept > 0) std::memcpy(into + more, at, kept);
            // Read a chunk at a time, so a stop is seen soon, from the bottom
            // of the new bytes up: a disk reads ahead of forward reads only.
            for (std::size_t done = 0; done < more;) {
                if (stopped()) return Result::Failure(ReadStoppedMessage);
                const std::size_t count = std::min(ReadChunkBytes, more - done);
                const std::uint64_t offset = first - 1 - more + done;
                const std::size_t cached = cold ? 0 : file.ReadCachedAt(offset, into + done, count);
                if (cached < count) {
                    cold = true;
                    if (Outcome<void> read = file.ReadAt(offset + cached, into + done + cached, count - cached); !read)
                        return Result::Failure(read.error());
                }
                done += count;
                share.Held(held + done);
            }
            top = first - 1 + kept;
            first -= more;
            at = into;
        }
        if (!blockStart) {
            switch (search.Continue(at, first, top)) {
            case HeaderSearch::Result::Found: blockStart = std::max<std::size_t>(search.pos(), 1); break;
            case HeaderSearch::Result::None: blockStart = 1; break;
            case HeaderSearch::Result::NeedMore: break;
            case HeaderSearch::Result::TooFar:
                return LoadFromWholeTail(file, length, names, progress, control, share);
            }
        }
        // A block longer than the first window is read in stretches, on both
        // threads, while the file is read further down: a window's stretches
        // begin at its first line start (or the block's start) and at the
        // first line start past each quarter of it.
        const bool head = blockStart.has_value();
        if (head && (*blockStart < first || top == length)) continue;
        // The first line start from `from` on, below where the stretch above
        // begins, or 0.
        const auto lineStart = [&](std::size_t from) -> std::size_t {
            const std::size_t last = std::min(lastFrom - 1 + GeneratedLineStart.size() - 1, top);
            if (from + GeneratedLineStart.size() - 1 > last) return 0;
            const std::size_t found = std::string_view(at + (from - first), last + 1 - from).find(GeneratedLineStart);
            return found == std::string_view::npos ? 0 : from + found;
        };
        const std::size_t low = head ? *blockStart : lineStart(first);
        if (low == 0) continue;
        if (!stretches) stretches.emplace(names, control.stop);
        const auto hand = [&](std::size_t from, bool isHead) {
            auto stretch = std::make_unique<Stretch>();
            stretch->bytes = at;
            stretch->first = first;
            // A line of the stretch needs few bytes past its end; one that
            // needs more leaves the stretch to be read again from the file.
            stretch->top = std::min(top, lastFrom + KeptAbove);
            stretch->from = from;
            stretch->until = lastFrom;
            stretch->length = length;
            stretch->head = isHead;
            // Less than half a step of the bar, whose steps are a 99th of
            // the block, and the block starts at or below `first`.
            stretch->gap = (length - (head ? *blockStart : first)) / 256;
            lastFrom = from;
            stretches->Add(std::move(stretch));
        };
        // Further stretches begin at the first line start past each quarter
        // of the window: small enough that the two threads share a window's
        // work evenly.
        std::vector<std::size_t> starts{low};
        const std::size_t piece = std::max<std::size_t>(windowBytes / 4, 1);
        for (std::size_t mark = first + piece; mark < first + more; mark += piece)
            if (const std::size_t next = lineStart(std::max(starts.back() + 1, mark)); next != 0)
                starts.push_back(next);
        for (auto start = starts.rbegin(); start != starts.rend(); ++start) hand(*start, head && *start == low);
        roomStretches[room] = stretches->count();
    }
    if (stopped()) return Result::Failure(ReadStoppedMessage);
    if (control.fileRead) control.fileRead();
    // A block within the first window is read there. A longer one was read
    // in stretches, joined here; where they do not join up, its lines are
    // read again from the file, a window at a time.
    std::optional<LoadedAnimation> loaded;
    if (top == length) {
        BlockReader reader(std::string_view(at + (*blockStart - first), length + 1 - *blockStart));
        loaded = LoadBlock(reader, names, progress, control.stop);
    } else {
        std::vector<std::unique_ptr<Stretch>> none;
        const auto& all = stretches ? stretches->All() : none;
        for (const auto& stretch : all)
            if (stretch->stopped) return Result::Failure(ReadStoppedMessage);
        try {
            loaded = LoadFromStretches(all, file, *blockStart, length, windowBytes, names, progress, control.stop);
        } catch (const BlockReadFailure& failure) {
            return Result::Failure(failure.message);
        }
    }
    if (!loaded) return Result::Failure(ReadStoppedMessage);
    return Result::Success(std::move(*loaded));
}

void ApplyLoadedAnimation(const LoadedAnimation& loaded, DocumentTexts& document) {
    for (int r = 0; r < RegisterCount; ++r) {
        if (loaded.initial[r]) document.initial[r] = *loaded.initial[r];
        document.final[r] = loaded.final[r] ? *loaded.final[r] : document.initial[r];
    }
    // A clock running backwards or standing still gives no timing to take.
    if (!HasPositiveTiming(loaded)) return;
    document.startTime = loaded.startTime;
    if (loaded.dKeyframe) document.dKeyframe = *loaded.dKeyframe;
    if (loaded.framesPSec) document.framesPSec = *loaded.framesPSec;
    document.finishTime = FinishTimeText(document.startTime, document.dKeyframe);
}

}  // namespace tw
