// What a written render holds, read back with FFmpeg's own decoders: the
// video stream's size, rate and frames (as RGB32 pictures), and the time of
// the sound's first sample above silence.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QImage>
#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace tw::testing {

struct Decoded {
    bool opened = false;
    int width = 0, height = 0;
    AVRational frameRate{0, 1};
    std::vector<QImage> frames;
    bool hasAudio = false;
    int sampleRate = 0;
    std::optional<double> firstSound;  // seconds from the file's time zero
};

inline QImage ToImage(const AVFrame* frame) {
    QImage image(frame->width, frame->height, QImage::Format_RGB32);
    SwsContext* sws =
        sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width, frame->height,
                       AV_PIX_FMT_RGB32, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    uint8_t* out[1] = {image.bits()};
    const int stride[1] = {int(image.bytesPerLine())};
    sws_scale(sws, frame->data, frame->linesize, 0, frame->height, out, stride);
    sws_freeContext(sws);
    return image;
}

// Any sample whose size passes `silence` counts as sound.
inline Decoded DecodeFile(const std::string& path, float silence = 0.05f) {
    Decoded d;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return d;
    avformat_find_stream_info(format, nullptr);
    d.opened = true;
    const int v = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int a = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* decoders[2] = {nullptr, nullptr};
    const int streams[2] = {v, a};
    for (int i = 0; i < 2; ++i) {
        if (streams[i] < 0) continue;
        const AVCodecParameters* par = format->streams[streams[i]]->codecpar;
        decoders[i] = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
        avcodec_parameters_to_context(decoders[i], par);
        decoders[i]->pkt_timebase = format->streams[streams[i]]->time_base;
        avcodec_open2(decoders[i], nullptr, nullptr);
    }
    if (v >= 0) {
        d.width = format->streams[v]->codecpar->width;
        d.height = format->streams[v]->codecpar->height;
        d.frameRate = format->streams[v]->avg_frame_rate;
    }
    if (a >= 0) {
        d.hasAudio = true;
        d.sampleRate = format->streams[a]->codecpar->sample_rate;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const auto drain = [&](int i) {
        while (avcodec_receive_frame(decoders[i], frame) == 0) {
            if (i == 0) {
                d.frames.push_back(ToImage(frame));
            } else if (!d.firstSound && frame->format == AV_SAMPLE_FMT_FLTP) {
                const AVRational tb = format->streams[a]->time_base;
                const double start = frame->best_effort_timestamp == AV_NOPTS_VALUE
                                         ? 0
                                         : double(frame->best_effort_timestamp) * av_q2d(tb);
                for (int s = 0; s < frame->nb_samples && !d.firstSound; ++s)
                    for (int c = 0; c < frame->ch_layout.nb_channels; ++c)
                        if (std::fabs(reinterpret_cast<const float*>(frame->extended_data[c])[s]) > silence) {
                            d.firstSound = start + double(s) / frame->sample_rate;
                            break;
                        }
            }
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        for (int i = 0; i < 2; ++i)
            if (decoders[i] && packet->stream_index == streams[i]) {
                avcodec_send_packet(decoders[i], packet);
                drain(i);
            }
        av_packet_unref(packet);
    }
    for (int i = 0; i < 2; ++i)
        if (decoders[i]) {
            avcodec_send_packet(decoders[i], nullptr);
            drain(i);
            avcodec_free_context(&decoders[i]);
        }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return d;
}

// A PNG file decoded with FFmpeg's PNG decoder; null when it is not one.
inline QImage DecodePng(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (bytes.empty()) return {};
    AVCodecContext* decoder = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_PNG));
    avcodec_open2(decoder, nullptr, nullptr);
    AVPacket* packet = av_packet_alloc();
    av_new_packet(packet, int(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), packet->data);
    AVFrame* frame = av_frame_alloc();
    QImage image;
    if (avcodec_send_packet(decoder, packet) == 0 && avcodec_receive_frame(decoder, frame) == 0)
        image = ToImage(frame);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    return image;
}

// Peak signal-to-noise ratio of `b` against `a` over the three channels, in dB.
inline double Psnr(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d[3] = {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)};
            for (int c : d) sum += double(c) * c;
        }
    const double mse = sum / (3.0 * a.width() * a.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace tw::testing
