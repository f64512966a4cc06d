#include "sound/Decode.h"

#include <sndfile.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "document/PathText.h"

namespace tw {

namespace {
constexpr sf_count_t ChunkFrames = 1 << 16;

struct Closer {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
}  // namespace

Outcome<SoundClip> DecodeSound(const std::string& path, std::size_t sampleCap, const ProgressFn& progress,
                               const std::atomic<bool>* cancel) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, Closer> file(sf_open(path.c_str(), SFM_READ, &info));
    const std::string named = QuotedPath(path);
    if (!file)
        return Outcome<SoundClip>::Failure(named + " cannot be read as sound: " + sf_strerror(nullptr) + ".");
    if (info.channels < 1 || info.samplerate < 1)
        return Outcome<SoundClip>::Failure(named + " is not a sound file that can be played.");
    SoundClip clip;
    clip.sampleRate = info.samplerate;
    clip.channels = info.channels;
    const sf_count_t capFrames = static_cast<sf_count_t>(sampleCap / static_cast<std::size_t>(info.channels));
    // The header's length is a hint only: a truncated file holds less, some
    // formats do not know it.
    const sf_count_t expected = info.frames > 0 ? std::min(info.frames, capFrames) : 0;
    clip.samples.reserve(static_cast<std::size_t>(expected) * static_cast<std::size_t>(info.channels));
    int shown = -1;
    sf_count_t read = 0;
    while (read < capFrames) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return Outcome<SoundClip>::Failure("The reading of " + named + " was stopped.");
        const sf_count_t want = std::min(ChunkFrames, capFrames - read);
        const std::size_t at = clip.samples.size();
        clip.samples.resize(at + static_cast<std::size_t>(want * info.channels));
        const sf_count_t got = sf_readf_float(file.get(), clip.samples.data() + at, want);
        clip.samples.resize(at + static_cast<std::size_t>(std::max<sf_count_t>(got, 0) * info.channels));
        if (got <= 0) break;
        read += got;
        if (progress && expected > 0) {
            const int percent = static_cast<int>(std::min<sf_count_t>(99, read * 100 / expected));
            if (percent != shown) progress(shown = percent);
        }
    }
    if (read >= capFrames) {
        std::vector<float> probe(static_cast<std::size_t>(info.channels));
        clip.truncated = sf_readf_float(file.get(), probe.data(), 1) > 0;
    }
    if (clip.Frames() == 0) return Outcome<SoundClip>::Failure(named + " holds no sound.");
    // Samples outside -1..1 (floats, or a damaged file) and NaNs are held in
    // range so nothing downstream meets them.
    for (float& s : clip.samples) s = s == s ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
    return Outcome<SoundClip>::Success(std::move(clip));
}

}  // namespace tw
