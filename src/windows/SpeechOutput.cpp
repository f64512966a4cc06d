#include "windows/SpeechOutput.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTimer>
#include <vector>

#include "sound/SoundStream.h"
#include "sound/Sync.h"

namespace tw {

namespace {
constexpr int PumpMs = 5;
constexpr int DeviceBufferMs = 40;  // what the device holds: the sound's latency
// A device that takes nothing for this long has gone (a sound server that
// stopped does not always say so).
constexpr qint64 StalledMs = 1500;
// A device that has taken only its first fill since the start is given
// longer: a sound server can take over a second to start a stream.
constexpr qint64 StartingMs = 6000;
}  // namespace

// Lives on the output's thread: opens the device, and hands it frames.
class SinkWorker : public QObject {
public:
    explicit SinkWorker(SpeechOutput& owner) : owner_(owner) {}

    void SetClip(std::shared_ptr<const SoundClip> clip) {
        Halt();
        clip_ = std::move(clip);
        stream_.reset();
    }

    void Play(std::uint64_t run, std::int64_t fromFrame, std::int64_t grainFrames) {
        if (!pump_) {
            pump_ = new QTimer(this);
            pump_->setTimerType(Qt::PreciseTimer);
            pump_->setInterval(PumpMs);
            connect(pump_, &QTimer::timeout, this, [this] { Pump(); });
        }
        // A newer start or stop is already on its way (a scrub moves on
        // faster than a device restarts): this one would only be heard late.
        if (!clip_ || run != owner_.run_.load()) return;
        if (!sink_ && !Open()) {
            owner_.missing_ = true;
            emit owner_.Failed();
            return;
        }
        owner_.missing_ = false;
        sink_->stop();  // drops whatever the device still held of the last start
        if (!stream_ || stream_->OutRate() != format_.sampleRate() ||
            stream_->OutChannels() != format_.channelCount())
            stream_ = std::make_unique<SoundStream>(clip_, format_.sampleRate(), format_.channelCount());
        stream_->Seek(fromFrame, grainFrames);
        run_ = run;
        handed_ = 0;
        sink_->setBufferSize(format_.bytesForDuration(DeviceBufferMs * 1000));
        io_ = sink_->start();
        // What the device counts as played is taken from this start on.
        playedBase_ = sink_->processedUSecs();
        if (!io_ || sink_->error() != QAudio::NoError) {
            Close();
            owner_.missing_ = true;
            emit owner_.Failed();
            return;
        }
        lastHanded_ = -1;
        progressed_ = false;
        sinceProgress_.start();
        // A grain's device goes quiet once the grain and its buffer are out.
        stopAfter_ = grainFrames < 0 ? -1
                                     : grainFrames * format_.sampleRate() / clip_->sampleRate +
                                           format_.sampleRate() * 2 * DeviceBufferMs / 1000;
        Pump();
        pump_->start();
    }

    void Halt() {
        if (pump_) pump_->stop();
        if (sink_) sink_->stop();
        io_ = nullptr;
    }

    // Tries the device again, so a server that comes back is used.
    void Probe() {
        if (sink_ || Open()) owner_.missing_ = false;
    }

    void Close() {
        Halt();
        delete sink_;
        sink_ = nullptr;
    }

private:
    bool Open() {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) return false;
        QAudioFormat format = device.preferredFormat();
        if (format.sampleRate() <= 0 || format.channelCount() <= 0) return false;
        format.setSampleFormat(QAudioFormat::Float);
        if (!device.isFormatSupported(format)) format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format)) return false;
        format_ = format;
        sink_ = new QAudioSink(device, format_, this);
        connect(sink_, &QAudioSink::stateChanged, this, [this](QAudio::State state) {
            if (state == QAudio::StoppedState && sink_ && sink_->error() != QAudio::NoError && io_) {
                Close();
                owner_.missing_ = true;
                emit owner_.Failed();
            }
        });
        return true;
    }

    void Pump() {
        if (!sink_ || !io_ || !stream_) return;
        const int bytesPerFrame = format_.bytesPerFrame();
        const int channels = format_.channelCount();
        const qint64 frames = sink_->bytesFree() / bytesPerFrame;
        if (frames > 0) {
            floats_.resize(static_cast<std::size_t>(frames * channels));
            stream_->Read(floats_.data(), frames);
            qint64 bytes = 0;
            if (format_.sampleFormat() == QAudioFormat::Float) {
                bytes = io_->write(reinterpret_cast<const char*>(floats_.data()), frames * bytesPerFrame);
            } else {
                shorts_.resize(floats_.size());
                for (std::size_t i = 0; i < floats_.size(); ++i)
                    shorts_[i] =
                        static_cast<qint16>(std::lround(std::clamp(floats_[i], -1.0f, 1.0f) * 32767));
                bytes = io_->write(reinterpret_cast<const char*>(shorts_.data()), frames * bytesPerFrame);
            }
            // The device takes what it said it had room for.
            if (bytes > 0) handed_ += bytes / bytesPerFrame;
        }
        if (stopAfter_ >= 0 && handed_ > stopAfter_) {
            Halt();
            return;
        }
        if (handed_ != lastHanded_) {
            progressed_ = lastHanded_ >= 0;
            lastHanded_ = handed_;
            sinceProgress_.start();
        } else if (sinceProgress_.elapsed() > (progressed_ ? StalledMs : StartingMs)) {
            Close();
            owner_.missing_ = true;
            emit owner_.Failed();
            return;
        }
        SpeechOutput::Counts counts;
        counts.run = run_;
        counts.handed = handed_;
        counts.buffered = std::max<qint64>(0, sink_->bufferSize() - sink_->bytesFree()) / bytesPerFrame;
        counts.playedUs = sink_->processedUSecs() - playedBase_;
        counts.rate = format_.sampleRate();
        owner_.Report(counts);
    }

    SpeechOutput& owner_;
    std::shared_ptr<const SoundClip> clip_;
    std::unique_ptr<SoundStream> stream_;
    QAudioSink* sink_ = nullptr;
    QIODevice* io_ = nullptr;
    QTimer* pump_ = nullptr;
    QAudioFormat format_;
    std::uint64_t run_ = 0;
    qint64 handed_ = 0, playedBase_ = 0, lastHanded_ = -1, stopAfter_ = -1;
    bool progressed_ = false;  // the device took more than its first fill
    QElapsedTimer sinceProgress_;
    std::vector<float> floats_;
    std::vector<qint16> shorts_;
};

SpeechOutput::SpeechOutput(QObject* parent) : QObject(parent), worker_(new SinkWorker(*this)) {
    thread_.setObjectName(QStringLiteral("speech output"));
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
    QMetaObject::invokeMethod(worker_, [w = worker_] { w->Probe(); });
}

SpeechOutput::~SpeechOutput() {
    QMetaObject::invokeMethod(
        worker_, [w = worker_] { w->Close(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

void SpeechOutput::SetClip(std::shared_ptr<const SoundClip> clip, double offset) {
    clip_ = clip;
    offset_ = offset;
    ++run_;
    QMetaObject::invokeMethod(worker_, [w = worker_, clip] { w->SetClip(clip); });
}

void SpeechOutput::Begin(double t, std::int64_t grainFrames) {
    const std::uint64_t run = ++run_;
    {
        std::lock_guard lock(mutex_);
        counts_ = Counts{run, 0, 0, 0, counts_.rate};
    }
    const std::int64_t from = ClipFrameAt(t, offset_, clip_->sampleRate);
    QMetaObject::invokeMethod(worker_,
                              [w = worker_, run, from, grainFrames] { w->Play(run, from, grainFrames); });
}

bool SpeechOutput::Start(double t) {
    if (!clip_) return false;
    if (missing_) {
        // Silent this time; the device is tried again for the next.
        QMetaObject::invokeMethod(worker_, [w = worker_] { w->Probe(); });
        return false;
    }
    Begin(t, -1);
    return true;
}

void SpeechOutput::Stop() {
    ++run_;
    QMetaObject::invokeMethod(worker_, [w = worker_] { w->Halt(); });
}

void SpeechOutput::Grain(double t) {
    if (!clip_ || missing_) return;
    Begin(t, static_cast<std::int64_t>(clip_->sampleRate) * GrainMilliseconds / 1000);
}

void SpeechOutput::Report(const Counts& counts) {
    std::lock_guard lock(mutex_);
    if (counts.run == run_.load()) counts_ = counts;
}

std::int64_t SpeechOutput::HandedFrames() const {
    std::lock_guard lock(mutex_);
    return counts_.handed;
}

std::int64_t SpeechOutput::BufferedFrames() const {
    std::lock_guard lock(mutex_);
    return counts_.buffered;
}

int SpeechOutput::DeviceRate() const {
    std::lock_guard lock(mutex_);
    return counts_.rate;
}

std::int64_t SpeechOutput::PlayedMicroseconds() const {
    std::lock_guard lock(mutex_);
    return counts_.playedUs;
}

}  // namespace tw
