// Tweenwright: writes keyframe animations for the talking-character player.
#include <QApplication>

#include "windows/MainForm.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tweenwright"));
    tw::MainForm form;
    form.show();
    return app.exec();
}
