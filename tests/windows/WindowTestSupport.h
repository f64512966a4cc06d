// Shared helpers of the window tests: a message-box stand-in that records what
// would be shown, and the set-up of the display environment.
#pragma once

#include <QDir>
#include <QImage>
#include <QLine>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <cstdlib>

#include <memory>

#include "windows/Dialogs.h"
#include "windows/MainForm.h"

namespace tw::test {

// Records every message; answers every question with `answer`.
class RecordingDialogs : public Dialogs {
public:
    explicit RecordingDialogs(QStringList* log, bool answer = true) : log_(log), answer_(answer) {}
    void Inform(QWidget*, const QString& text) override { log_->append(text); }
    bool Ask(QWidget*, const QString& text) override {
        log_->append(text);
        return answer_;
    }

private:
    QStringList* log_;
    bool answer_;
};

// Without a display the tests run on the offscreen platform; in CI they run on
// a virtual X server.
inline void PrepareDisplayEnvironment() {
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        QString dir = QDir::tempPath() + QStringLiteral("/tweenwright-runtime");
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        setenv("XDG_RUNTIME_DIR", dir.toLocal8Bit().constData(), 1);
    }
}

// Shows a window and gives it the keyboard, as a click on it would.
inline bool ShowActive(QWidget* window) {
    window->show();
    if (!QTest::qWaitForWindowExposed(window)) return false;
    window->activateWindow();
    window->raise();
    return QTest::qWaitForWindowActive(window);
}

// How many pixels of `image` along a row or column `line` differ from `background`.
inline int PixelsUnlike(const QImage& image, const QLine& line, const QColor& background) {
    const QPoint step = line.dx() != 0 ? QPoint(1, 0) : QPoint(0, 1);
    int count = 0;
    for (QPoint p = line.p1(); p != line.p2() + step; p += step) count += image.pixelColor(p) != background;
    return count;
}

// A new main window, shown and given the keyboard, whose messages go to
// `log` (emptied first); none when the window did not become active.
inline std::unique_ptr<MainForm> ShownMainForm(QStringList* log) {
    log->clear();
    auto form = std::make_unique<MainForm>(std::make_unique<RecordingDialogs>(log));
    if (!ShowActive(form.get())) return nullptr;
    return form;
}

}  // namespace tw::test

#define TW_WINDOW_TEST_MAIN(TestClass)                 \
    int main(int argc, char** argv) {                  \
        tw::test::PrepareDisplayEnvironment();         \
        QApplication app(argc, argv);                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);       \
        TestClass test;                                \
        QTEST_SET_MAIN_SOURCE_PATH                     \
        return QTest::qExec(&test, argc, argv);        \
    }
