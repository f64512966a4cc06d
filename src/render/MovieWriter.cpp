#include "render/MovieWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace tw {

namespace fs = std::filesystem;

namespace {

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string Quoted(const fs::path& path) { return "\"" + path.string() + "\""; }

// A name beside `final` in `folder` that nothing has yet, made as an empty
// file or folder with the usual permissions (the umask applies).
Outcome<fs::path> MakeTemporary(const fs::path& folder, const std::string& base, bool asFolder) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path name = folder / ("." + base + "." + std::to_string(::getpid()) + "-" +
                                        std::to_string(counter.fetch_add(1)) + ".part");
        int made;
        if (asFolder) {
            made = ::mkdir(name.c_str(), 0777);
        } else {
            made = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (made >= 0) made = ::close(made);
        }
        if (made == 0) return Outcome<fs::path>::Success(name);
        if (errno != EEXIST)
            return Outcome<fs::path>::Failure("Cannot write in the folder " + Quoted(folder) + ": " +
                                              std::strerror(errno) + ".");
    }
    return Outcome<fs::path>::Failure("Cannot make a temporary name in " + Quoted(folder) + ".");
}

// Whether `folder` holds nothing but files named as frames ("0000.png", ...).
bool HoldsOnlyFrames(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const std::size_t digits = name.size() >= 8 ? name.size() - 4 : 0;
        const bool numbered = digits >= 4 && name.compare(digits, 4, ".png") == 0 &&
                              std::all_of(name.begin(), name.begin() + std::ptrdiff_t(digits),
                                          [](char c) { return c >= '0' && c <= '9'; });
        if (!numbered || it->is_symlink(error) || !it->is_regular_file(error)) return false;
    }
    return !error;
}

const char* FormatName(OutputKind kind) {
    switch (kind) {
    case OutputKind::Mp4: return "mp4";
    case OutputKind::WebM: return "webm";
    case OutputKind::Gif: return "gif";
    default: return nullptr;
    }
}

}  // namespace

struct MovieWriter::State {
    MovieSettings settings;
    fs::path finalPath;   // the file, the folder, or the pattern's folder
    fs::path temp;        // the temporary file or folder
    std::string pattern;  // a PNG sequence's file name pattern
    bool finished = false;

    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVStream* videoStream = nullptr;
    AVFrame* picture = nullptr;
    SwsContext* sws = nullptr;
    AVPacket* packet = nullptr;
    long long framesIn = 0, filesOut = 0;

    AVCodecContext* audio = nullptr;
    AVStream* audioStream = nullptr;
    SwrContext* swr = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* sound = nullptr;
    std::size_t inputAt = 0;  // next input sample frame of the speech
    bool inputDrained = false, audioDone = true;
    std::int64_t audioPts = 0, audioEnd = 0;

    ~State() {
        if (format && format->pb) avio_closep(&format->pb);
        avformat_free_context(format);
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        av_frame_free(&picture);
        av_frame_free(&sound);
        av_packet_free(&packet);
        sws_freeContext(sws);
        swr_free(&swr);
        if (fifo) av_audio_fifo_free(fifo);
        if (!finished && !temp.empty()) {
            std::error_code ignored;
            fs::remove_all(temp, ignored);
        }
    }

    Outcome<void> Fail(const std::string& what, int code) {
        return Outcome<void>::Failure("Cannot write " + Quoted(settings.out) + ": " + what +
                                      (code ? " (" + AvError(code) + ")" : "") + ".");
    }

    Outcome<void> OpenVideo();
    Outcome<void> OpenAudio();
    Outcome<void> Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame);
    Outcome<void> WritePng(const AVPacket& png);
    Outcome<void> PumpAudio(std::int64_t until, bool last);
};

Outcome<void> MovieWriter::State::OpenVideo() {
    const bool png = settings.kind == OutputKind::PngFolder || settings.kind == OutputKind::PngPattern;
    const char* encoder = png                             ? "png"
                          : settings.kind == OutputKind::Gif  ? "gif"
                          : settings.kind == OutputKind::WebM ? "libvpx-vp9"
                                                          : "libx264";
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    if (!codec) return Fail(std::string("this system's FFmpeg has no ") + encoder + " encoder", 0);
    video = avcodec_alloc_context3(codec);
    if (!video) return Fail("out of memory", AVERROR(ENOMEM));
    video->width = settings.size.width;
    video->height = settings.size.height;
    video->time_base = AVRational{1, settings.fps};
    video->framerate = AVRational{settings.fps, 1};
    video->sample_aspect_ratio = AVRational{1, 1};
    AVPixelFormat pixels = AV_PIX_FMT_YUV420P;
    if (png) {
        pixels = AV_PIX_FMT_RGB24;
        // zlib's fastest level over rows predicted from the row above: the
        // sky's gradient and the flat shapes become runs of zeros, which
        // compress quickly and small.
        video->compression_level = 1;
        av_opt_set(video->priv_data, "pred", "up", 0);
        video->thread_count = 0;
        video->thread_type = FF_THREAD_FRAME;
    } else if (settings.kind == OutputKind::Gif) {
        pixels = AV_PIX_FMT_PAL8;
    } else if (settings.kind == OutputKind::WebM) {
        av_opt_set(video->priv_data, "deadline", "realtime", 0);
        av_opt_set_int(video->priv_data, "cpu-used", 8, 0);
        av_opt_set_int(video->priv_data, "row-mt", 1, 0);
        av_opt_set_int(video->priv_data, "crf", 24, 0);
        video->bit_rate = 0;
        video->thread_count = 0;
    } else {
        av_opt_set(video->priv_data, "preset", "superfast", 0);
        av_opt_set(video->priv_data, "crf", "18", 0);
        video->thread_count = 0;
    }
    if (!png && settings.kind != OutputKind::Gif) {
        video->color_range = AVCOL_RANGE_MPEG;
        video->colorspace = AVCOL_SPC_SMPTE170M;
        video->color_primaries = AVCOL_PRI_SMPTE170M;
        video->color_trc = AVCOL_TRC_SMPTE170M;
    }
    video->pix_fmt = pixels;
    if (format && (format->oformat->flags & AVFMT_GLOBALHEADER)) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int e = avcodec_open2(video, codec, nullptr); e < 0)
        return Fail(std::string("the ") + encoder + " encoder did not start", e);
    picture = av_frame_alloc();
    packet = av_packet_alloc();
    if (!picture || !packet) return Fail("out of memory", AVERROR(ENOMEM));
    picture->format = pixels;
    picture->width = settings.size.width;
    picture->height = settings.size.height;
    if (const int e = av_frame_get_buffer(picture, 0); e < 0) return Fail("out of memory", e);
    if (pixels == AV_PIX_FMT_YUV420P) {
        sws = sws_getContext(settings.size.width, settings.size.height, AV_PIX_FMT_RGB32, settings.size.width,
                             settings.size.height, pixels, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr,
                             nullptr);
        if (!sws) return Fail("the colour conversion did not start", 0);
    }
    if (format) {
        videoStream = avformat_new_stream(format, nullptr);
        if (!videoStream) return Fail("out of memory", AVERROR(ENOMEM));
        videoStream->time_base = video->time_base;
        videoStream->avg_frame_rate = video->framerate;
        videoStream->r_frame_rate = video->framerate;
        if (const int e = avcodec_parameters_from_context(videoStream->codecpar, video); e < 0)
            return Fail("the video stream", e);
    }
    return Outcome<void>::Success();
}

Outcome<void> MovieWriter::State::OpenAudio() {
    const RenderSpeech& speech = *settings.speech;
    const char* encoder = settings.kind == OutputKind::WebM ? "libopus" : "aac";
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    if (!codec) return Fail(std::string("this system's FFmpeg has no ") + encoder + " encoder", 0);
    audio = avcodec_alloc_context3(codec);
    if (!audio) return Fail("out of memory", AVERROR(ENOMEM));
    int rate = 48000;
    if (codec->supported_samplerates)
        for (const int* r = codec->supported_samplerates; *r; ++r)
            if (*r == speech.sampleRate) rate = speech.sampleRate;
    AVSampleFormat sampleFormat = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    if (codec->sample_fmts)
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == AV_SAMPLE_FMT_FLT || *f == AV_SAMPLE_FMT_FLTP) sampleFormat = *f;
    audio->sample_rate = rate;
    audio->sample_fmt = sampleFormat;
    av_channel_layout_default(&audio->ch_layout, std::min(speech.channels, 2));
    audio->bit_rate = settings.kind == OutputKind::WebM ? 96000 : 160000;
    audio->time_base = AVRational{1, rate};
    if (format->oformat->flags & AVFMT_GLOBALHEADER) audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int e = avcodec_open2(audio, codec, nullptr); e < 0)
        return Fail(std::string("the ") + encoder + " encoder did not start", e);

    AVChannelLayout in{};
    av_channel_layout_default(&in, speech.channels);
    const int e = swr_alloc_set_opts2(&swr, &audio->ch_layout, sampleFormat, rate, &in, AV_SAMPLE_FMT_FLT,
                                      speech.sampleRate, 0, nullptr);
    av_channel_layout_uninit(&in);
    if (e < 0 || swr_init(swr) < 0) return Fail("the sound's conversion did not start", e);
    const int frameSize = audio->frame_size > 0 ? audio->frame_size : 1024;
    fifo = av_audio_fifo_alloc(sampleFormat, audio->ch_layout.nb_channels, frameSize * 4);
    sound = av_frame_alloc();
    if (!fifo || !sound) return Fail("out of memory", AVERROR(ENOMEM));
    sound->format = sampleFormat;
    sound->sample_rate = rate;
    sound->nb_samples = frameSize;
    av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
    if (const int b = av_frame_get_buffer(sound, 0); b < 0) return Fail("out of memory", b);

    // The speech's first sample plays at its start, exactly: a start inside
    // the output becomes the first packet's time; a start before it skips
    // the samples already past.
    const std::int64_t start = std::llround(settings.speechStart * rate);
    audioPts = std::max<std::int64_t>(start, 0);
    if (start < 0) inputAt = std::size_t(std::llround(-settings.speechStart * speech.sampleRate));
    audioEnd = std::llround(settings.seconds * rate);
    audioDone = audioPts >= audioEnd || inputAt * std::size_t(speech.channels) >= speech.samples.size();

    audioStream = avformat_new_stream(format, nullptr);
    if (!audioStream) return Fail("out of memory", AVERROR(ENOMEM));
    audioStream->time_base = audio->time_base;
    if (const int p = avcodec_parameters_from_context(audioStream->codecpar, audio); p < 0)
        return Fail("the sound stream", p);
    return Outcome<void>::Success();
}

Outcome<void> MovieWriter::State::WritePng(const AVPacket& png) {
    const fs::path file = temp / PngName(pattern, filesOut++);
    std::FILE* out = std::fopen(file.c_str(), "wbe");
    if (!out) return Fail(std::string(std::strerror(errno)), 0);
    const bool written = std::fwrite(png.data, 1, std::size_t(png.size), out) == std::size_t(png.size);
    const int error = written ? 0 : errno;
    if (std::fclose(out) != 0 || !written) return Fail(std::strerror(written ? errno : error), 0);
    return Outcome<void>::Success();
}

Outcome<void> MovieWriter::State::Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
    if (const int e = avcodec_send_frame(codec, frame); e < 0) return Fail("encoding failed", e);
    for (;;) {
        const int e = avcodec_receive_packet(codec, packet);
        if (e == AVERROR(EAGAIN) || e == AVERROR_EOF) break;
        if (e < 0) return Fail("encoding failed", e);
        if (!format) {
            const Outcome<void> written = WritePng(*packet);
            av_packet_unref(packet);
            if (!written) return written;
            continue;
        }
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (const int w = av_interleaved_write_frame(format, packet); w < 0) return Fail("writing failed", w);
    }
    return Outcome<void>::Success();
}

// Encodes the speech up to output sample `until` (whole frames only unless
// `last`), converting the speech's samples as they are needed.
Outcome<void> MovieWriter::State::PumpAudio(std::int64_t until, bool last) {
    if (audioDone) return Outcome<void>::Success();
    const RenderSpeech& speech = *settings.speech;
    const int frameSize = sound->nb_samples;
    until = std::min(until, audioEnd);
    const std::size_t inputFrames = speech.samples.size() / std::size_t(speech.channels);
    constexpr int Chunk = 4096;
    std::vector<std::uint8_t*> planes(std::size_t(audio->ch_layout.nb_channels));
    while (!audioDone && (audioPts + frameSize <= until || (last && audioPts < until))) {
        while (av_audio_fifo_size(fifo) < frameSize && !inputDrained) {
            const int take = int(std::min<std::size_t>(Chunk, inputFrames - std::min(inputAt, inputFrames)));
            const int room = swr_get_out_samples(swr, take);
            uint8_t** out = nullptr;
            if (av_samples_alloc_array_and_samples(&out, nullptr, audio->ch_layout.nb_channels,
                                                   std::max(room, 1), audio->sample_fmt, 0) < 0)
                return Fail("out of memory", AVERROR(ENOMEM));
            const uint8_t* in =
                reinterpret_cast<const uint8_t*>(speech.samples.data() + inputAt * speech.channels);
            const int got = swr_convert(swr, out, room, take > 0 ? &in : nullptr, take);
            if (take == 0) inputDrained = true;
            inputAt += std::size_t(take);
            if (got > 0) av_audio_fifo_write(fifo, reinterpret_cast<void**>(out), got);
            av_freep(&out[0]);
            av_freep(&out);
            if (got < 0) return Fail("the sound's conversion failed", got);
        }
        int n = std::min<int>(frameSize, av_audio_fifo_size(fifo));
        const bool ending = inputDrained && n < frameSize;
        if (n == 0) {
            audioDone = true;
            break;
        }
        if (audioPts + n > audioEnd) n = int(audioEnd - audioPts);
        if (const int w = av_frame_make_writable(sound); w < 0) return Fail("out of memory", w);
        sound->nb_samples = n;
        av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), n);
        sound->pts = audioPts;
        audioPts += n;
        if (const Outcome<void> sent = Encode(audio, audioStream, sound); !sent) return sent;
        sound->nb_samples = frameSize;
        if (ending || n < frameSize || audioPts >= audioEnd) audioDone = true;
    }
    return Outcome<void>::Success();
}

MovieWriter::MovieWriter(std::unique_ptr<State> state) : state_(std::move(state)) {}
MovieWriter::~MovieWriter() = default;

std::string MovieWriter::PngName(const std::string& out, long long k) {
    char number[32];
    std::snprintf(number, sizeof number, "%04lld", k);
    const std::size_t at = out.find("%04d.png");
    if (at == std::string::npos) return std::string(number) + ".png";
    const std::string name = fs::path(out).filename().string();
    const std::size_t in = name.find("%04d.png");
    return name.substr(0, in) + number + name.substr(in + 4);
}

Outcome<std::unique_ptr<MovieWriter>> MovieWriter::Open(const MovieSettings& settings) {
    using Result = Outcome<std::unique_ptr<MovieWriter>>;
    // The libraries' own notes (encoder statistics) are not for the user;
    // failures come back as messages.
    av_log_set_level(AV_LOG_ERROR);
    auto state = std::make_unique<State>();
    State& s = *state;
    s.settings = settings;
    const bool pngs = settings.kind == OutputKind::PngFolder || settings.kind == OutputKind::PngPattern;
    fs::path folder;
    std::string base;
    if (settings.kind == OutputKind::PngFolder) {
        std::string name = settings.out;
        while (name.size() > 1 && name.back() == '/') name.pop_back();
        s.finalPath = name;
        folder = s.finalPath.parent_path();
        base = s.finalPath.filename().string();
    } else if (settings.kind == OutputKind::PngPattern) {
        s.pattern = settings.out;
        folder = fs::path(settings.out).parent_path();
        s.finalPath = folder.empty() ? fs::path(".") : folder;
        base = "frames";
    } else {
        s.finalPath = settings.out;
        folder = s.finalPath.parent_path();
        base = s.finalPath.filename().string();
    }
    if (folder.empty()) folder = ".";
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return Result::Failure("Cannot write " + Quoted(settings.out) + ": the folder " + Quoted(folder) +
                               " does not exist.");
    if (settings.kind == OutputKind::PngFolder && fs::exists(s.finalPath, error)) {
        if (!fs::is_directory(s.finalPath, error))
            return Result::Failure("Cannot write " + Quoted(settings.out) +
                                   ": a file of that name is in the way.");
        // An earlier folder of frames is replaced whole on success, so one
        // holding anything else (a home folder typed by mistake) is refused.
        if (!HoldsOnlyFrames(s.finalPath))
            return Result::Failure("Cannot write " + Quoted(settings.out) +
                                   ": the folder holds other files than frames; name a new or empty folder.");
    }
    Outcome<fs::path> temp = MakeTemporary(folder, base, pngs);
    if (!temp) return Result::Failure(temp.error());
    s.temp = temp.value();

    if (!pngs) {
        if (const int e =
                avformat_alloc_output_context2(&s.format, nullptr, FormatName(settings.kind), s.temp.c_str());
            e < 0 || !s.format)
            return Result::Failure(s.Fail("the container did not start", e).error());
    }
    if (const Outcome<void> opened = s.OpenVideo(); !opened) return Result::Failure(opened.error());
    if (settings.kind == OutputKind::Gif && !settings.palette)
        return Result::Failure(s.Fail("a GIF needs its palette", 0).error());
    if (IsVideo(settings.kind) && settings.speech && !settings.speech->Empty())
        if (const Outcome<void> opened = s.OpenAudio(); !opened) return Result::Failure(opened.error());
    if (s.format) {
        if (const int e = avio_open(&s.format->pb, s.temp.c_str(), AVIO_FLAG_WRITE); e < 0)
            return Result::Failure(s.Fail("the file did not open", e).error());
        AVDictionary* options = nullptr;
        if (settings.kind == OutputKind::Gif) av_dict_set(&options, "loop", "0", 0);  // loops for ever
        const int e = avformat_write_header(s.format, &options);
        av_dict_free(&options);
        if (e < 0) return Result::Failure(s.Fail("the header was not written", e).error());
    }
    return Result::Success(std::unique_ptr<MovieWriter>(new MovieWriter(std::move(state))));
}

Outcome<void> MovieWriter::Add(const QImage& frame) {
    State& s = *state_;
    if (frame.width() != s.settings.size.width || frame.height() != s.settings.size.height ||
        frame.format() != QImage::Format_RGB32)
        return s.Fail("a frame of the wrong size or format", 0);
    if (const int e = av_frame_make_writable(s.picture); e < 0) return s.Fail("out of memory", e);
    AVFrame* p = s.picture;
    const int w = frame.width(), h = frame.height();
    if (s.sws) {
        const uint8_t* source[1] = {frame.constBits()};
        const int stride[1] = {int(frame.bytesPerLine())};
        sws_scale(s.sws, source, stride, 0, h, p->data, p->linesize);
    } else if (p->format == AV_PIX_FMT_PAL8) {
        s.settings.palette->Map(frame, p->data[0], p->linesize[0]);
        std::memcpy(p->data[1], s.settings.palette->Colours().data(), 256 * 4);
    } else {
        for (int y = 0; y < h; ++y) {
            const QRgb* in = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
            uint8_t* out = p->data[0] + std::ptrdiff_t(y) * p->linesize[0];
            for (int x = 0; x < w; ++x) {
                out[3 * x] = uint8_t(qRed(in[x]));
                out[3 * x + 1] = uint8_t(qGreen(in[x]));
                out[3 * x + 2] = uint8_t(qBlue(in[x]));
            }
        }
    }
    p->pts = s.framesIn++;
    if (const Outcome<void> sent = s.Encode(s.video, s.videoStream, p); !sent) return sent;
    if (s.audio) return s.PumpAudio(av_rescale(s.framesIn, s.audio->sample_rate, s.settings.fps), false);
    return Outcome<void>::Success();
}

Outcome<void> MovieWriter::Finish() {
    State& s = *state_;
    if (s.audio) {
        if (const Outcome<void> rest = s.PumpAudio(s.audioEnd, true); !rest) return rest;
        if (const Outcome<void> flushed = s.Encode(s.audio, s.audioStream, nullptr); !flushed) return flushed;
    }
    if (const Outcome<void> flushed = s.Encode(s.video, s.videoStream, nullptr); !flushed) return flushed;
    std::error_code error;
    if (s.format) {
        if (const int e = av_write_trailer(s.format); e < 0)
            return s.Fail("the file's end was not written", e);
        if (s.format->pb->error < 0) return s.Fail("writing failed", s.format->pb->error);
        if (const int e = avio_closep(&s.format->pb); e < 0) return s.Fail("closing failed", e);
        fs::rename(s.temp, s.finalPath, error);
        if (error) return s.Fail(error.message(), 0);
    } else if (s.settings.kind == OutputKind::PngFolder) {
        // An earlier folder of that name steps aside, the new one takes its
        // place, and only then is the earlier one removed.
        fs::path aside;
        if (fs::exists(s.finalPath, error)) {
            Outcome<fs::path> spare =
                MakeTemporary(s.finalPath.parent_path().empty() ? fs::path(".") : s.finalPath.parent_path(),
                              s.finalPath.filename().string() + ".old", true);
            if (!spare) return Outcome<void>::Failure(spare.error());
            aside = spare.value();
            fs::rename(s.finalPath, aside, error);
            if (error) {
                fs::remove(aside, error);
                return s.Fail("the earlier folder could not be replaced", 0);
            }
        }
        fs::rename(s.temp, s.finalPath, error);
        if (error) {
            if (!aside.empty()) fs::rename(aside, s.finalPath, error);
            return s.Fail("the folder could not be put in place", 0);
        }
        if (!aside.empty()) fs::remove_all(aside, error);
    } else {
        for (long long k = 0; k < s.filesOut; ++k) {
            const std::string name = PngName(s.pattern, k);
            fs::rename(s.temp / name, s.finalPath / name, error);
            if (error) return s.Fail(error.message(), 0);
        }
        fs::remove(s.temp, error);
    }
    s.finished = true;
    return Outcome<void>::Success();
}

}  // namespace tw
