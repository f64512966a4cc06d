// Shared helpers of the window tests: a message-box stand-in that records what
// would be shown, the set-up of the display environment, and finding a
// window's controls by their names.
#pragma once

#include <QDir>
#include <QImage>
#include <QLine>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <cstdlib>

#include <memory>

#include "windows/CharacterView.h"
#include "windows/Dialogs.h"
#include "windows/MainForm.h"
#include "windows/RegisterPanel.h"

namespace tw::test {

// The control named `name` among `window`'s children; a test that names a
// control the window lacks stops there, naming it.
template <class T = QWidget>
T* Control(const QObject& window, const QString& name) {
    T* control = window.findChild<T*>(name);
    if (!control) qFatal("%s has no control named %s", qPrintable(window.objectName()), qPrintable(name));
    return control;
}
template <class T = QWidget>
T* Control(const QObject& window, const char* name) {
    return Control<T>(window, QString::fromLatin1(name));
}

// Controls of a control array, named "<array>_<index>": a register row's
// cells (setreg, f0initial, f0final) and the graph's bars (ProgressBar1).
template <class T = QLineEdit>
T* Cell(const QObject& window, const char* array, int index) {
    return Control<T>(window, QStringLiteral("%1_%2").arg(QLatin1String(array)).arg(index));
}

inline QLineEdit* Edit(const QObject& window, const char* name) {
    return Control<QLineEdit>(window, QLatin1String(name));
}
inline QPushButton* Button(const QObject& window, const char* name) {
    return Control<QPushButton>(window, QLatin1String(name));
}

// The main window's register panel, character view and sub header.
inline RegisterPanel* PanelOf(const QObject& form) { return Control<RegisterPanel>(form, QStringLiteral("Panel")); }
inline CharacterView* ViewOf(const QObject& form) {
    return Control<CharacterView>(form, QStringLiteral("ActiveHaptekX1"));
}
inline QPlainTextEdit* SubHeaderOf(const QObject& form) {
    return Control<QPlainTextEdit>(form, QStringLiteral("clipboardtemp"));
}

// Records every message; answers every question with `answer`.
class RecordingDialogs : public Dialogs {
public:
    explicit RecordingDialogs(QStringList* log, bool answer = true) : log_(log), answer_(answer) {}
    void Inform(QWidget*, const QString& text) override { log_->append(text); }
    bool Ask(QWidget*, const QString& text) override {
        log_->append(text);
        return answer_;
    }
    // Answers each text question with the next of `texts` (cancels when none
    // is left).
    void AnswerTexts(QStringList texts) { texts_ = std::move(texts); }
    std::optional<QString> AskText(QWidget*, const QString& text, const QString&) override {
        log_->append(text);
        if (texts_.isEmpty()) return std::nullopt;
        return texts_.takeFirst();
    }

private:
    QStringList* log_;
    bool answer_;
    QStringList texts_;
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
