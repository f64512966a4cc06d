#include "windows/SpeechTrack.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <cmath>

namespace tw {

namespace {

constexpr qint64 MarksFileCap = 16 << 20;  // a label file larger than this is not read

QString Clock(double seconds) {
    const long long s = std::llround(seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

SpeechTrack::SpeechTrack(QObject* parent) : QObject(parent) {
    connect(&watcher_, &QFutureWatcher<Decoded>::finished, this, &SpeechTrack::Finished);
}

SpeechTrack::~SpeechTrack() {
    if (cancel_) *cancel_ = true;
    watcher_.waitForFinished();
}

void SpeechTrack::SetActiveFile(const QString& hapPath) {
    const QString absolute = hapPath.isEmpty() ? QString() : QFileInfo(hapPath).absoluteFilePath();
    if (absolute == hapPath_) return;
    hapPath_ = absolute;
    Apply(RememberedSpeech(hapPath_), true);
}

void SpeechTrack::SetAudio(const QString& path) {
    SpeechChoice choice = choice_;
    choice.audio = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    if (choice.audio.isEmpty()) choice = SpeechChoice{};
    Apply(choice, true);
    Save();
}

void SpeechTrack::SetOffset(double seconds) {
    if (!std::isfinite(seconds)) return;
    SpeechChoice choice = choice_;
    choice.offset = seconds;
    Apply(choice, false);
    Save();
}

void SpeechTrack::SetMarks(const QString& path) {
    SpeechChoice choice = choice_;
    choice.marks = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    Apply(choice, false);
    Save();
}

void SpeechTrack::Save() const { RememberSpeech(hapPath_, choice_); }

void SpeechTrack::Apply(const SpeechChoice& choice, bool decode) {
    const bool newAudio = decode && choice.audio != choice_.audio;
    const bool newMarks = choice.marks != choice_.marks || decode;
    // Only a new sound or offset changes what the output plays.
    const bool newSound = decode || choice.offset != choice_.offset;
    choice_ = choice;
    if (newMarks) {
        marks_.clear();
        marksNote_.clear();
        if (!choice_.marks.isEmpty()) {
            QFile file(choice_.marks);
            const QString name = QFileInfo(choice_.marks).fileName();
            if (!file.open(QIODevice::ReadOnly)) {
                marksNote_ = tr("%1 cannot be read").arg(name);
            } else if (file.size() > MarksFileCap) {
                marksNote_ = tr("%1 is too large for a label file").arg(name);
            } else {
                const QByteArray bytes = file.read(MarksFileCap);
                MarkList list =
                    ParseLabels(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
                marks_ = std::move(list.marks);
                if (list.skipped > 0)
                    marksNote_ = tr("%n line(s) of %1 skipped: not a mark", "", list.skipped).arg(name);
            }
        }
    }
    if (newAudio || (decode && !clip_ && !choice_.audio.isEmpty() && !IsDecoding())) Decode();
    SetNote(note_);
    if (newSound) emit ClipChanged();
}

void SpeechTrack::Decode() {
    if (cancel_) *cancel_ = true;
    clip_.reset();
    peaks_.reset();
    if (choice_.audio.isEmpty()) {
        note_.clear();
        return;
    }
    auto cancel = cancel_ = std::make_shared<std::atomic<bool>>(false);
    const QString path = choice_.audio;
    const QString name = QFileInfo(path).fileName();
    note_ = tr("reading %1").arg(name);
    // The watcher follows the newest decode; an older one stops early.
    watcher_.setFuture(QtConcurrent::run([this, path, name, cancel]() -> Decoded {
        int last = -1;
        Outcome<SoundClip> clip = DecodeSound(
            QFile::encodeName(path).toStdString(), DefaultSampleCap,
            [&](int percent) {
                if (percent / 5 == last / 5) return;
                last = percent;
                QMetaObject::invokeMethod(this, [this, name, percent, cancel] {
                    if (!*cancel) SetNote(tr("reading %1: %2%").arg(name).arg(percent));
                });
            },
            cancel.get());
        Decoded done;
        if (!clip.ok()) {
            done.note = *cancel ? QString() : QString::fromStdString(clip.error());
            return done;
        }
        auto shared = std::make_shared<const SoundClip>(std::move(clip).value());
        if (shared->truncated)
            done.note =
                tr("%1: only the first %2 fit in memory and are played").arg(name, Clock(shared->Seconds()));
        done.peaks = std::make_shared<const PeakPyramid>(shared);
        done.clip = std::move(shared);
        return done;
    }));
}

void SpeechTrack::Finished() {
    if (!cancel_ || *cancel_) return;
    const Decoded done = watcher_.result();
    clip_ = done.clip;
    peaks_ = done.peaks;
    note_ = done.note;
    SetNote(note_);
    emit Changed();
    emit ClipChanged();
}

QString SpeechTrack::Note() const {
    if (note_.isEmpty()) return marksNote_;
    return marksNote_.isEmpty() ? note_ : note_ + QStringLiteral("; ") + marksNote_;
}

void SpeechTrack::SetNote(const QString& note) {
    note_ = note;
    emit Changed();
}

}  // namespace tw
