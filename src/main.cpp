// Tweenwright: writes keyframe animations for the talking-character player.
#include <QApplication>
#include <QIcon>

#include "windows/MainForm.h"
#include "windows/StopSignals.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
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
