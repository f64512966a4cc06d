#include "sound/Decode.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "SoundFiles.h"
#include "TempFolder.h"

namespace tw {
namespace {

class DecodeTest : public TempFolderTest {};

TEST_F(DecodeTest, ReadsEachFormatRateAndChannelCount) {
    const struct {
        const char* name;
        int format, rate, channels;
        bool lossless;
    } rows[] = {
        {"a.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, true},
        {"b.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, false},
        {"c.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 192000, 8, false},
        {"d.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 22050, 2, false},
        {"e.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 1, false},
        {"f.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, 2, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const long long frames = row.rate / 2;
        const std::vector<float> written = Pattern(frames, row.channels);
        const std::string path = (folder / row.name).string();
        if (!WriteSound(path, row.format, row.rate, row.channels, written)) {
            // This libsndfile cannot write the format (it may still read it).
            continue;
        }
        const Outcome<SoundClip> clip = DecodeSound(path);
        ASSERT_TRUE(clip.ok()) << clip.error();
        EXPECT_EQ(clip.value().sampleRate, row.rate);
        EXPECT_EQ(clip.value().channels, row.channels);
        EXPECT_FALSE(clip.value().truncated);
        // Lossy codecs pad and trim a little at the ends.
        EXPECT_NEAR(static_cast<double>(clip.value().Frames()), static_cast<double>(frames), frames * 0.1);
        if (row.lossless) {
            EXPECT_EQ(clip.value().samples, written);
        } else if ((row.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 ||
                   (row.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_24) {
            ASSERT_EQ(clip.value().samples.size(), written.size());
            for (std::size_t i = 0; i < written.size(); i += 997)
                EXPECT_NEAR(clip.value().samples[i], written[i], 1e-4);
        }
    }
}

TEST_F(DecodeTest, RefusesWhatIsNotSoundWithAMessageNamingTheFile) {
    Write(folder / "notes.wav", "these are not the sounds you are looking for\n");
    Write(folder / "empty.wav", "");
    for (const char* name : {"notes.wav", "empty.wav", "missing.wav"}) {
        const Outcome<SoundClip> clip = DecodeSound((folder / name).string());
        ASSERT_FALSE(clip.ok()) << name;
        EXPECT_NE(clip.error().find(name), std::string::npos) << clip.error();
    }
}

TEST_F(DecodeTest, NoFramesFailsAndOneFrameIsKept) {
    ASSERT_TRUE(WriteSound((folder / "none.wav").string(), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, {}));
    const Outcome<SoundClip> none = DecodeSound((folder / "none.wav").string());
    ASSERT_FALSE(none.ok());
    EXPECT_NE(none.error().find("holds no sound"), std::string::npos);

    ASSERT_TRUE(
        WriteSound((folder / "one.wav").string(), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1, {0.25f}));
    const Outcome<SoundClip> one = DecodeSound((folder / "one.wav").string());
    ASSERT_TRUE(one.ok()) << one.error();
    EXPECT_EQ(one.value().samples, std::vector<float>{0.25f});
}

TEST_F(DecodeTest, ATruncatedFileGivesWhatItHolds) {
    const std::string path = (folder / "cut.wav").string();
    ASSERT_TRUE(WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, Pattern(10000, 2)));
    const std::string bytes = Read(path);
    Write(path, bytes.substr(0, bytes.size() / 2 + 3));  // cut mid-frame
    const Outcome<SoundClip> clip = DecodeSound(path);
    ASSERT_TRUE(clip.ok()) << clip.error();
    EXPECT_GT(clip.value().Frames(), 4000);
    EXPECT_LT(clip.value().Frames(), 5000);
    EXPECT_EQ(clip.value().samples.size() % 2, 0u);
}

TEST_F(DecodeTest, TheCapKeepsTheFirstWholeFramesAndSaysSo) {
    const std::string path = (folder / "long.wav").string();
    const std::vector<float> written = Pattern(3000, 3);
    ASSERT_TRUE(WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8000, 3, written));
    const Outcome<SoundClip> capped = DecodeSound(path, 1000);  // 333 whole frames
    ASSERT_TRUE(capped.ok());
    EXPECT_TRUE(capped.value().truncated);
    ASSERT_EQ(capped.value().Frames(), 333);
    EXPECT_TRUE(std::equal(capped.value().samples.begin(), capped.value().samples.end(), written.begin()));

    const Outcome<SoundClip> fits = DecodeSound(path, written.size());
    ASSERT_TRUE(fits.ok());
    EXPECT_FALSE(fits.value().truncated);
    EXPECT_EQ(fits.value().Frames(), 3000);
}

TEST_F(DecodeTest, ReportsProgressAndStopsWhenCancelled) {
    const std::string path = (folder / "long.wav").string();
    ASSERT_TRUE(WriteSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2, Pattern(48000 * 8, 2)));
    std::vector<int> seen;
    ASSERT_TRUE(DecodeSound(path, DefaultSampleCap, [&](int p) { seen.push_back(p); }).ok());
    ASSERT_GE(seen.size(), 3u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GE(seen.back(), 90);

    std::atomic<bool> cancel{true};
    EXPECT_FALSE(DecodeSound(path, DefaultSampleCap, {}, &cancel).ok());
}

}  // namespace
}  // namespace tw
