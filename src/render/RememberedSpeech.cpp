#include "render/RememberedSpeech.h"

#include <QFileInfo>
#include <QSettings>
#include <QUrl>
#include <cmath>

namespace tw {

namespace {

QSettings Settings() { return QSettings(QStringLiteral("Tweenwright"), QStringLiteral("Tweenwright")); }

// One settings group per hap file; its path is encoded so that slashes make
// no groups of their own.
QString GroupOf(const QString& hapPath) {
    return QStringLiteral("SpeechTrack/") +
           QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(hapPath).absoluteFilePath()));
}

}  // namespace

SpeechChoice RememberedSpeech(const QString& hapPath) {
    SpeechChoice choice;
    if (hapPath.isEmpty()) return choice;
    QSettings s = Settings();
    s.beginGroup(GroupOf(hapPath));
    choice.audio = s.value(QStringLiteral("audio")).toString();
    const double offset = s.value(QStringLiteral("offset"), 0.0).toDouble();
    choice.offset = std::isfinite(offset) ? offset : 0;
    choice.marks = s.value(QStringLiteral("marks")).toString();
    return choice;
}

void RememberSpeech(const QString& hapPath, const SpeechChoice& choice) {
    if (hapPath.isEmpty()) return;
    QSettings s = Settings();
    if (choice.audio.isEmpty()) {
        s.remove(GroupOf(hapPath));
        return;
    }
    s.beginGroup(GroupOf(hapPath));
    s.setValue(QStringLiteral("audio"), choice.audio);
    s.setValue(QStringLiteral("offset"), choice.offset);
    s.setValue(QStringLiteral("marks"), choice.marks);
}

}  // namespace tw
