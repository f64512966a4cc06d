// The speech track's sound output: a QAudioSink in push mode on a thread of
// its own, fed from a SoundStream (the clip mixed to the device's channels and
// resampled to its rate). The device is opened on that thread, so a slow or
// missing sound server never holds up the window; a failure comes back as
// Failed. The counts of frames handed over and still buffered are kept for the
// window's thread to read, for the current start only.
#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <memory>
#include <mutex>

#include "session/SpeechSync.h"
#include "sound/SoundClip.h"

namespace tw {

class SinkWorker;

class SpeechOutput : public QObject, public SoundOutput {
    Q_OBJECT
public:
    explicit SpeechOutput(QObject* parent = nullptr);
    ~SpeechOutput() override;

    // The clip played, starting at script time `offset`.
    void SetClip(std::shared_ptr<const SoundClip> clip, double offset);

    bool Start(double t) override;
    void Stop() override;
    void Grain(double t) override;
    std::int64_t HandedFrames() const override;
    std::int64_t BufferedFrames() const override;
    int DeviceRate() const override;
    // Microseconds the device says it has played since the current start.
    std::int64_t PlayedMicroseconds() const;

    // What the worker reports, for the current start only.
    struct Counts {
        std::uint64_t run = 0;
        std::int64_t handed = 0, buffered = 0, playedUs = 0;
        int rate = 0;
    };
    void Report(const Counts& counts);

signals:
    // No sound device could be opened, or it stopped with an error.
    void Failed();

private:
    void Begin(double t, std::int64_t grainFrames);

    QThread thread_;
    SinkWorker* worker_;
    std::shared_ptr<const SoundClip> clip_;
    double offset_ = 0;
    std::atomic<std::uint64_t> run_{0};
    mutable std::mutex mutex_;
    Counts counts_;
    std::atomic<bool> missing_{false};
    friend class SinkWorker;
};

}  // namespace tw
