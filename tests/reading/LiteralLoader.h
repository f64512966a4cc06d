// The last-animation load written the plain way: one byte at a time at
// explicit positions, every search and token turn by turn with a text buffer,
// the name looked up cell by cell. The tests, the fuzz target and the
// benchmark hold the loader to it.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "document/CodePage.h"
#include "document/NumberText.h"
#include "reading/LastAnimationLoader.h"

namespace tw::literal {

// The register table's name cells as the program starts with them: the
// catalogue's names in order.
inline std::array<std::string, RegisterCount> CatalogueNames() {
    std::array<std::string, RegisterCount> names;
    for (int r = 0; r < RegisterCount; ++r) names[r] = std::string(RegisterCatalogue()[r].name);
    return names;
}

// Source: size_t Length(); int At(size_t pos) for 1 <= pos <= Length(), any
// other position giving -1.
template <class Source>
class Loader {
public:
    Loader(Source& source, const std::array<std::string, RegisterCount>& names, const ProgressFn& progress)
        : in_(source), names_(names), progress_(progress), length_(source.Length()) {}

    LoadedAnimation Run() {
        LoadedAnimation loaded;
        // The header search.
        int state = 0;
        pos_ = length_;
        while (pos_ > 0 && state != 6) {
            Read(pos_);
            state = current_ == "ketpaH"[state] ? state + 1 : 0;
            --pos_;
        }
        const std::size_t blockStart = pos_ > 0 ? pos_ : 1;
        pos_ = blockStart;
        ClockSearch();
        TimeToken();
        const double firstValue = NumericValue(buffer_);
        const float firstTime = Single(firstValue);
        loaded.startTime = DecimalText(firstValue);

        // The first keyframe pass.
        pos_ = blockStart;
        float curTime = firstTime;
        bool handedOver = false;
        while (curTime == firstTime) {
            const bool clock = ClockSearch();
            TimeToken();
            curTime = Single(NumericValue(buffer_));
            if (!clock) break;
            if (curTime != firstTime) {
                handedOver = true;
                break;
            }
            const int r = FindRegister();
            if (r < 0) {
                NoteUnknownName(loaded, buffer_);
                continue;
            }
            ValueToken();
            loaded.initial[r] = DecodeCodePage(buffer_);
        }

        // The final pass.
        float lastTime = 0;
        std::size_t timeCount = 0;
        int shown = 0;
        while (pos_ < length_) {
            if (!handedOver) {
                ClockSearch();
                TimeToken();
                curTime = Single(NumericValue(buffer_));
            }
            handedOver = false;
            if (curTime != 0 && curTime != lastTime) {
                ++timeCount;
                lastTime = curTime;
            }
            const int r = FindRegister();
            if (r >= 0) {
                ValueToken();
                loaded.final[r] = DecimalText(NumericValue(buffer_));
            }
            const float bar = static_cast<float>((static_cast<double>(pos_) - static_cast<double>(blockStart)) /
                                                 (static_cast<double>(length_) - static_cast<double>(blockStart)) * 99);
            const int whole = bar < 0 ? 0 : bar > 99 ? 99 : static_cast<int>(bar);
            if (progress_ && whole != shown) progress_(shown = whole);
        }

        const double duration = timeCount == 0 ? 0 : static_cast<double>(lastTime) - NumericValue(loaded.startTime);
        if (std::isfinite(duration)) {
            loaded.dKeyframe = DecimalText(duration);
            const double written = NumericValue(*loaded.dKeyframe);
            if (written != 0) loaded.framesPSec = DecimalText(static_cast<double>(timeCount) / written);
        }
        return loaded;
    }

private:
    void Read(std::size_t pos) { current_ = in_.At(pos); }
    bool AtEnd() const { return pos_ >= length_; }

    static float Single(double value) {
        if (std::fabs(value) <= std::numeric_limits<float>::max()) return static_cast<float>(value);
        const float beyond = std::fabs(value) < 0x1.ffffffp127 ? std::numeric_limits<float>::max()
                                                                : std::numeric_limits<float>::infinity();
        return value < 0 ? -beyond : beyond;
    }

    bool ClockSearch() {
        int state = 0;
        while (state != 3 && !AtEnd()) {
            Read(pos_);
            state = current_ == "t= "[state] ? state + 1 : 0;
            ++pos_;
        }
        return state == 3;
    }

    void TimeToken() {
        buffer_.clear();
        while (current_ != ']' && !AtEnd()) {
            buffer_ += static_cast<char>(current_);
            Read(pos_);
            ++pos_;
        }
    }

    // The name search, the name token and the lookup: the register, or -1.
    int FindRegister() {
        buffer_.clear();
        bool collecting = false;
        while (buffer_ != "setreg[name= " && !AtEnd()) {
            if (current_ == 's' || collecting) {
                buffer_ += static_cast<char>(current_);
                collecting = true;
            }
            Read(pos_);
            ++pos_;
        }
        const bool found = buffer_ == "setreg[name= ";
        buffer_.clear();
        while (current_ != ' ' && !AtEnd()) {
            buffer_ += static_cast<char>(current_);
            Read(pos_);
            ++pos_;
        }
        if (!found) return -1;
        const std::string name = DecodeCodePage(buffer_);
        for (int r = 0; r <= LastRegisterIndex; ++r)
            if (names_[r] == name) return r;
        return -1;
    }

    void ValueToken() {
        buffer_.clear();
        while (current_ != 'f' && !AtEnd()) {
            Read(pos_);
            ++pos_;
        }
        pos_ += 3;
        Read(pos_);
        while (current_ != ']' && !AtEnd()) {
            buffer_ += static_cast<char>(current_);
            ++pos_;
            Read(pos_);
        }
    }

    Source& in_;
    const std::array<std::string, RegisterCount>& names_;
    const ProgressFn& progress_;
    std::size_t length_;
    std::size_t pos_ = 0;
    int current_ = -1;
    std::string buffer_;
};

// Bytes in memory as a source.
struct MemorySource {
    std::string_view bytes;
    std::size_t Length() const { return bytes.size(); }
    int At(std::size_t pos) const {
        return pos >= 1 && pos <= bytes.size() ? static_cast<unsigned char>(bytes[pos - 1]) : -1;
    }
};

inline LoadedAnimation Load(std::string_view bytes, const std::array<std::string, RegisterCount>& names,
                            const ProgressFn& progress = {}) {
    MemorySource source{bytes};
    return Loader<MemorySource>(source, names, progress).Run();
}

}  // namespace tw::literal
