#include "sound/Sync.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sound/SoundStream.h"

namespace tw {
namespace {

TEST(SoundSync, ScriptTimesFallOnClipFramesThroughTheOffset) {
    EXPECT_EQ(ClipFrameAt(1.0, 0.0, 48000), 48000);
    EXPECT_EQ(ClipFrameAt(1.0, 0.25, 48000), 36000);  // the sound starts at 0.25 s
    EXPECT_EQ(ClipFrameAt(0.0, 0.5, 8000), -4000);    // before it
    EXPECT_EQ(ClipFrameAt(0.0, -2.0, 8000), 16000);   // started before the script
    EXPECT_EQ(ClipFrameAt(0.0, -1e300, 8000), static_cast<std::int64_t>(9.0e15));
    EXPECT_EQ(ClipFrameAt(0.0, std::numeric_limits<double>::quiet_NaN(), 8000), 0);
}

TEST(SoundSync, TheHeardTimeIsWhatWasHandedOverLessWhatIsStillBuffered) {
    EXPECT_DOUBLE_EQ(HeardTime(2.0, 48000, 4800, 48000), 2.9);
    EXPECT_DOUBLE_EQ(HeardTime(2.0, 1000, 4800, 48000), 2.0);  // nothing heard yet
    EXPECT_DOUBLE_EQ(HeardTime(-1.5, 22050, 0, 44100), -1.0);
    EXPECT_DOUBLE_EQ(HeardTime(3.0, 100, 0, 0), 3.0);
}

TEST(SoundSync, ChannelsMixToWhatTheDeviceTakes) {
    const float stereo[] = {0.2f, 0.4f, -1.0f, 1.0f};
    float mono[2];
    MixChannels(stereo, 2, mono, 1, 2);
    EXPECT_FLOAT_EQ(mono[0], 0.3f);
    EXPECT_FLOAT_EQ(mono[1], 0.0f);

    const float one[] = {0.5f};
    float both[2];
    MixChannels(one, 1, both, 2, 1);
    EXPECT_EQ(both[0], 0.5f);
    EXPECT_EQ(both[1], 0.5f);

    // Eight channels onto two: the even ones left, the odd ones right.
    const float eight[] = {0.1f, 1, 0.3f, 1, 0.5f, 0, 0.7f, 0};
    float two[2];
    MixChannels(eight, 8, two, 2, 1);
    EXPECT_FLOAT_EQ(two[0], 0.4f);
    EXPECT_FLOAT_EQ(two[1], 0.5f);
}

TEST(SoundSync, AGrainFadesInAndOut) {
    EXPECT_EQ(GrainGain(-1, 100, 10), 0);
    EXPECT_FLOAT_EQ(GrainGain(0, 100, 10), 0.1f);
    EXPECT_EQ(GrainGain(50, 100, 10), 1);
    EXPECT_FLOAT_EQ(GrainGain(99, 100, 10), 0.1f);
    EXPECT_EQ(GrainGain(100, 100, 10), 0);
}

std::shared_ptr<SoundClip> Ramp(int rate, int channels, std::int64_t frames) {
    auto clip = std::make_shared<SoundClip>();
    clip->sampleRate = rate;
    clip->channels = channels;
    for (std::int64_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) clip->samples.push_back(static_cast<float>(f + 1) / frames);
    return clip;
}

TEST(SoundStream, PlaysSilenceOutsideTheSoundAndTheSoundAtItsFrames) {
    const auto clip = Ramp(8000, 1, 100);
    SoundStream stream(clip, 8000, 2);
    stream.Seek(-3);
    std::vector<float> out(2 * 110);
    stream.Read(out.data(), 110);
    for (int f = 0; f < 3; ++f) EXPECT_EQ(out[2 * f], 0) << f;
    for (int f = 3; f < 103; ++f) {
        EXPECT_EQ(out[2 * f], clip->samples[f - 3]) << f;
        EXPECT_EQ(out[2 * f + 1], clip->samples[f - 3]) << f;
    }
    for (int f = 103; f < 110; ++f) EXPECT_EQ(out[2 * f], 0) << f;
}

TEST(SoundStream, AGrainStartsAtItsFrameAndANewOneCutsItOff) {
    const auto clip = Ramp(1000, 1, 1000);  // fades of 4 frames
    SoundStream stream(clip, 1000, 1);
    stream.Seek(500, 60);
    std::vector<float> out(30);
    stream.Read(out.data(), 30);
    EXPECT_FLOAT_EQ(out[10], clip->samples[510]);
    EXPECT_LT(out[0], clip->samples[500]);  // faded in
    // The next grain, before the first has ended: what follows is the new one.
    stream.Seek(200, 60);
    stream.Read(out.data(), 30);
    EXPECT_FLOAT_EQ(out[10], clip->samples[210]);
    std::vector<float> rest(100);
    stream.Read(rest.data(), 100);
    EXPECT_FLOAT_EQ(rest[20], clip->samples[250]);
    for (int f = 30; f < 100; ++f) EXPECT_EQ(rest[f], 0) << f;  // and then silence, not the old grain
}

TEST(SoundStream, ResamplingKeepsPitchAndLength) {
    // One second of a 440 Hz tone at 44.1 kHz, played at 48 kHz.
    auto clip = std::make_shared<SoundClip>();
    clip->sampleRate = 44100;
    clip->channels = 1;
    for (int f = 0; f < 44100; ++f)
        clip->samples.push_back(static_cast<float>(0.5 * std::sin(2 * M_PI * 440 * f / 44100.0)));
    SoundStream stream(clip, 48000, 1);
    stream.Seek(0);
    std::vector<float> out(48000 + 4800);
    stream.Read(out.data(), static_cast<std::int64_t>(out.size()));
    int crossings = 0;
    for (std::size_t i = 2000; i < 46000; ++i) crossings += (out[i - 1] < 0) != (out[i] < 0);
    // 440 Hz over 44000 frames at 48 kHz: 806.7 sign changes.
    EXPECT_NEAR(crossings, 2 * 440 * 44000 / 48000.0, 3);
    // Silence after the sound's end, about one second in.
    float tail = 0;
    for (std::size_t i = 48200; i < out.size(); ++i) tail = std::max(tail, std::abs(out[i]));
    EXPECT_LT(tail, 0.01f);
    float body = 0;
    for (std::size_t i = 47000; i < 47800; ++i) body = std::max(body, std::abs(out[i]));
    EXPECT_GT(body, 0.4f);
}

TEST(SoundStream, EightChannelsAt192kHzPlayAsStereoAt48kHz) {
    // A constant 0.4 on the even channels and -0.2 on the odd ones, one
    // second long, starting a quarter second into the stream.
    auto clip = std::make_shared<SoundClip>();
    clip->sampleRate = 192000;
    clip->channels = 8;
    for (int f = 0; f < 192000; ++f)
        for (int c = 0; c < 8; ++c) clip->samples.push_back(c % 2 ? -0.2f : 0.4f);
    SoundStream stream(clip, 48000, 2);
    stream.Seek(-48000);  // a quarter second of clip frames at 192 kHz
    std::vector<float> out(2 * 48000 * 3 / 2);
    stream.Read(out.data(), 48000 * 3 / 2);
    EXPECT_NEAR(out[2 * 6000], 0, 1e-3);          // 0.125 s: before the sound
    EXPECT_NEAR(out[2 * 36000], 0.4, 1e-3);       // 0.75 s: left
    EXPECT_NEAR(out[2 * 36000 + 1], -0.2, 1e-3);  // right
    EXPECT_NEAR(out[2 * 66000], 0, 1e-3);         // 1.375 s: after it
}

}  // namespace
}  // namespace tw
