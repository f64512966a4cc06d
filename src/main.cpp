// Tweenwright: writes keyframe animations for the talking-character player.
#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "windows/DisplayHold.h"
#include "windows/MainForm.h"
#include "windows/StopSignals.h"

int main(int argc, char* argv[]) {
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
    tw::CloseOnStopSignals(&form);
    form.show();
    return app.exec();
}
