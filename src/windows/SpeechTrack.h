// The speech track of the active hap file: its sound decoded once off the
// window's thread (progress shown in the view's corner), the peak pyramid
// the waveform is drawn from, the offset (the script time at which the sound
// starts) and the word marks. The choice is remembered per hap file, by its
// absolute path, in the program's settings, and comes back when that file is
// active again.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

#include "render/RememberedSpeech.h"
#include "sound/Decode.h"
#include "sound/Marks.h"
#include "sound/Peaks.h"

namespace tw {

class SpeechTrack : public QObject {
    Q_OBJECT
public:
    explicit SpeechTrack(QObject* parent = nullptr);
    ~SpeechTrack() override;

    // The hap file whose speech track this is: its remembered choice is used.
    void SetActiveFile(const QString& hapPath);
    const QString& ActiveFile() const { return hapPath_; }

    // Chooses the sound (decoded anew), or none for an empty path.
    void SetAudio(const QString& path);
    void SetOffset(double seconds);
    // Reads the label file at `path` (empty: no marks).
    void SetMarks(const QString& path);

    const SpeechChoice& Choice() const { return choice_; }
    double Offset() const { return choice_.offset; }
    // The decoded sound and its peaks; null while none is ready.
    std::shared_ptr<const SoundClip> Clip() const { return clip_; }
    std::shared_ptr<const PeakPyramid> Peaks() const { return peaks_; }
    const std::vector<WordMark>& Marks() const { return marks_; }
    bool IsDecoding() const { return watcher_.isRunning(); }
    // A line for the view's corner: progress, or what went wrong.
    QString Note() const;

signals:
    // The sound, offset, marks or note changed.
    void Changed();
    // A new sound is ready (or gone): the output plays this one now.
    void ClipChanged();

private:
    struct Decoded {
        std::shared_ptr<const SoundClip> clip;
        std::shared_ptr<const PeakPyramid> peaks;
        QString note;
    };
    void Apply(const SpeechChoice& choice, bool decode);
    void Decode();
    void Finished();
    void Save() const;
    void SetNote(const QString& note);

    QString hapPath_;
    SpeechChoice choice_;
    std::shared_ptr<const SoundClip> clip_;
    std::shared_ptr<const PeakPyramid> peaks_;
    std::vector<WordMark> marks_;
    QString note_, marksNote_;
    QFutureWatcher<Decoded> watcher_;
    std::shared_ptr<std::atomic<bool>> cancel_;
};

}  // namespace tw
