#include "sound/SoundStream.h"

#include <samplerate.h>

#include <algorithm>
#include <cstring>

#include "sound/Sync.h"

namespace tw {

namespace {
constexpr std::int64_t PullFrames = 1024;
}

SoundStream::SoundStream(std::shared_ptr<const SoundClip> clip, int outRate, int outChannels)
    : clip_(std::move(clip)), outRate_(std::max(outRate, 1)), outChannels_(std::max(outChannels, 1)) {
    fade_ = static_cast<std::int64_t>(clip_->sampleRate) * GrainFadeMilliseconds / 1000;
    if (clip_->sampleRate != outRate_) {
        int error = 0;
        resampler_ = src_new(SRC_SINC_FASTEST, outChannels_, &error);
    }
}

SoundStream::~SoundStream() {
    if (resampler_) src_delete(resampler_);
}

void SoundStream::Seek(std::int64_t from, std::int64_t grainFrames) {
    next_ = grainStart_ = from;
    grainFrames_ = grainFrames;
    in_.clear();
    inUsed_ = 0;
    if (resampler_) src_reset(resampler_);
}

void SoundStream::Pull(float* out, std::int64_t frames) {
    const std::int64_t clipFrames = clip_->Frames();
    const int inChannels = clip_->channels;
    std::int64_t f = 0;
    while (f < frames) {
        const std::int64_t at = next_ + f;
        float* dst = out + f * outChannels_;
        if (at < 0 || at >= clipFrames || (grainFrames_ >= 0 && at - grainStart_ >= grainFrames_)) {
            // Silence up to where the sound begins (or for the rest).
            std::int64_t run = frames - f;
            if (at < 0) run = std::min(run, -at);
            std::fill(dst, dst + run * outChannels_, 0.0f);
            f += run;
            continue;
        }
        std::int64_t run = std::min(frames - f, clipFrames - at);
        if (grainFrames_ >= 0) run = std::min(run, grainStart_ + grainFrames_ - at);
        MixChannels(clip_->samples.data() + at * inChannels, inChannels, dst, outChannels_, run);
        if (grainFrames_ >= 0) {
            for (std::int64_t i = 0; i < run; ++i) {
                const float gain = GrainGain(at + i - grainStart_, grainFrames_, fade_);
                for (int c = 0; c < outChannels_; ++c) dst[i * outChannels_ + c] *= gain;
            }
        }
        f += run;
    }
    next_ += frames;
}

void SoundStream::Read(float* out, std::int64_t frames) {
    if (!resampler_) {
        Pull(out, frames);
        return;
    }
    const double ratio = static_cast<double>(outRate_) / clip_->sampleRate;
    std::int64_t done = 0;
    while (done < frames) {
        if (inUsed_ * outChannels_ >= in_.size()) {
            in_.resize(static_cast<std::size_t>(PullFrames * outChannels_));
            Pull(in_.data(), PullFrames);
            inUsed_ = 0;
        }
        SRC_DATA data{};
        data.data_in = in_.data() + inUsed_ * outChannels_;
        data.input_frames = static_cast<long>(in_.size() / outChannels_ - inUsed_);
        data.data_out = out + done * outChannels_;
        data.output_frames = static_cast<long>(frames - done);
        data.src_ratio = ratio;
        data.end_of_input = 0;
        if (src_process(resampler_, &data) != 0) {
            std::fill(out + done * outChannels_, out + frames * outChannels_, 0.0f);
            return;
        }
        inUsed_ += static_cast<std::size_t>(data.input_frames_used);
        done += data.output_frames_gen;
    }
}

}  // namespace tw
