// Tweenwright: writes keyframe animations for the talking-character player.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <cstdio>
#include <iostream>

#include "cli/CommandLine.h"
#include "windows/DisplayHold.h"
#include "windows/MainForm.h"
#include "windows/SpeechTrack.h"
#include "windows/StopSignals.h"

int main(int argc, char* argv[]) {
    // The command line is read before any Qt object exists: its subcommands
    // need no display.
    const tw::CommandLine command = tw::RunCommandLine(argc, argv, std::cout, std::cerr);
    if (command.exitStatus) return *command.exitStatus;

    // A display that is resetting refuses connections for a moment: wait for
    // it, and keep a connection until Qt has its own.
    tw::DisplayHold display(argc, argv);
    if (!display.ok()) {
        std::fprintf(stderr, "%s\n", display.error().c_str());
        return 1;
    }
    QApplication app(argc, argv);
    display.Release();
    QApplication::setApplicationName(QStringLiteral("Tweenwright"));
    // The desktop entry and the icon carry the same id; the icon is built in,
    // so the window has it whether or not the program is installed.
    QApplication::setDesktopFileName(QStringLiteral(TW_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/" TW_APP_ID ".svg")));
    tw::MainForm form;
    if (command.file && command.speech) {
        // Remembered for the file first, so the file comes up with it.
        const QString file = QFile::decodeName(command.file->c_str());
        tw::SpeechChoice choice = tw::RememberedSpeech(file);
        const QString audio = QFileInfo(QFile::decodeName(command.speech->c_str())).absoluteFilePath();
        if (choice.audio != audio) choice.marks.clear();
        choice.audio = audio;
        choice.offset = command.speechOffset;
        tw::RememberSpeech(file, choice);
    }
    if (command.file) form.OpenFile(QFile::decodeName(command.file->c_str()));
    tw::CloseOnStopSignals(&form);
    form.show();
    return app.exec();
}
