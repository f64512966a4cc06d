#include "windows/SpeechMenu.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>

#include "windows/PlayerController.h"

namespace tw {

namespace {
QString Tr(const char* text) { return QCoreApplication::translate("tw::CharacterView", text); }
// Offsets the entry takes: a day either way.
constexpr double OffsetLimit = 86400;
}  // namespace

void AddSpeechEntries(QMenu& menu, QWidget* surface, PlayerController& player) {
    SpeechTrack& speech = player.Speech();
    menu.addSeparator();
    const QString startIn = speech.Choice().audio.isEmpty() ? QFileInfo(speech.ActiveFile()).path()
                                                            : QFileInfo(speech.Choice().audio).path();
    QAction* choose = menu.addAction(Tr("Speech track…"), surface, [surface, &speech, startIn] {
        const QString path = QFileDialog::getOpenFileName(
            surface, Tr("Speech track"), startIn,
            Tr("Sound (*.wav *.WAV *.flac *.FLAC *.ogg *.OGG *.oga *.opus *.mp3 *.MP3);;All files (*)"));
        if (!path.isEmpty()) speech.SetAudio(path);
    });
    choose->setObjectName(QStringLiteral("SpeechTrackChoose"));
    QAction* none = menu.addAction(Tr("No speech track"), surface, [&speech] { speech.SetAudio(QString()); });
    none->setObjectName(QStringLiteral("SpeechTrackNone"));
    none->setEnabled(!speech.Choice().audio.isEmpty());
    QAction* offset =
        menu.addAction(Tr("Speech Offset (%1 s)…").arg(speech.Offset()), surface, [surface, &speech] {
            bool ok = false;
            const double seconds = QInputDialog::getDouble(
                surface, Tr("Speech Offset"), Tr("Script time at which the sound starts (s):"),
                speech.Offset(), -OffsetLimit, OffsetLimit, 3, &ok);
            if (ok) speech.SetOffset(seconds);
        });
    offset->setObjectName(QStringLiteral("SpeechTrackOffset"));
    offset->setEnabled(!speech.Choice().audio.isEmpty());
    QAction* marks = menu.addAction(Tr("Marks…"), surface, [surface, &speech, startIn] {
        const QString path = QFileDialog::getOpenFileName(surface, Tr("Marks"), startIn,
                                                          Tr("Label files (*.txt *.TXT);;All files (*)"));
        if (!path.isEmpty()) speech.SetMarks(path);
    });
    marks->setObjectName(QStringLiteral("SpeechTrackMarks"));
    marks->setEnabled(!speech.Choice().audio.isEmpty());
}

}  // namespace tw
