// The view follows the value being edited: a dragged slider or a number typed
// into a value box shows that keyframe's pose at once, without a file or a
// command; the release's preview then shows the very same pose.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QTemporaryDir>

#include "WindowTestSupport.h"
#include "windows/CharacterView.h"
#include "windows/MainForm.h"

using namespace tw;

class LivePoseTest : public QObject {
    Q_OBJECT
    QStringList messages;
    std::unique_ptr<QTemporaryDir> runtime;
    std::unique_ptr<MainForm> form;
    CharacterView* view = nullptr;

    template <class T>
    T* Find(const QString& name) {
        return form->findChild<T*>(name);
    }
    // The view's picture without its corner labels and its timeline.
    QImage Figure() {
        const QImage all = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return all.copy(QRect(0, 22, all.width(), all.height() - 22 - 20));
    }
    QStringList PreviewFiles() {
        return QDir(runtime->path() + QStringLiteral("/tweenwright")).entryList(QDir::Files);
    }
    static QPoint Thumb(QSlider* slider, int value) {
        const int length = slider->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, slider);
        const int x = QStyle::sliderPositionFromValue(-100, 100, value, slider->width() - length);
        return QPoint(x + length / 2, slider->height() / 2);
    }

private slots:
    void init() {
        runtime = std::make_unique<QTemporaryDir>();
        qputenv("XDG_RUNTIME_DIR", runtime->path().toLocal8Bit());
        form = test::ShownMainForm(&messages);
        QVERIFY(form);
        view = Find<CharacterView>(QStringLiteral("ActiveHaptekX1"));
        QVERIFY(view);
    }
    void cleanup() { form.reset(); }

    void sliderDragShowsThePoseBeforeTheRelease() {
        QLineEdit* box = Find<QLineEdit>(QStringLiteral("f0initial_0"));
        QVERIFY(box && box->isVisible());
        const QImage rest = Figure();
        const qsizetype commands = view->Commands().size();
        QTest::mouseClick(box, Qt::LeftButton);
        QWidget* window = Find<QWidget>(QStringLiteral("FormSetValue"));
        QVERIFY(window && QTest::qWaitForWindowActive(window));
        auto* slider = window->findChild<QSlider*>(QStringLiteral("SliderSetValue"));
        QVERIFY(slider);

        QTest::mousePress(slider, Qt::LeftButton, {}, Thumb(slider, 0));
        const QPoint to = Thumb(slider, 60);
        QMouseEvent move(QEvent::MouseMove, to, slider->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(slider, &move);
        QCOMPARE(slider->value(), 60);
        // Held, not released: the view shows the edited pose already.
        QVERIFY(view->ShowsLivePose());
        const QImage live = Figure();
        QVERIFY(live != rest);
        QCOMPARE(view->Commands().size(), commands);
        QVERIFY(PreviewFiles().isEmpty());

        // The release previews through the file; the pose is the same.
        QSignalSpy loaded(view, &CharacterView::LoadFinished);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, to);
        QCOMPARE(view->Commands().size(), commands + 1);
        QVERIFY(loaded.wait(10000));
        QVERIFY(!view->ShowsLivePose());
        QCOMPARE(view->PlayingFile(), QStringLiteral("initial.hap"));
        QCOMPARE(Figure(), live);
    }

    void typedNumbersShowTheirPoseAndOtherTextLeavesIt() {
        QLineEdit* box = Find<QLineEdit>(QStringLiteral("f0final_0"));
        QVERIFY(box);
        const QImage rest = Figure();
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("-0.7"));
        QVERIFY(view->ShowsLivePose());
        const QImage typed = Figure();
        QVERIFY(typed != rest);
        QTest::keyClicks(box, QStringLiteral("x"));
        QCOMPARE(box->text(), QStringLiteral("-0.7x"));
        QCOMPARE(Figure(), typed);
        QVERIFY(PreviewFiles().isEmpty());

        // "Show Final (F2)" of the same values gives the same picture.
        QTest::keyClick(box, Qt::Key_Backspace);
        QSignalSpy loaded(view, &CharacterView::LoadFinished);
        QTest::mouseClick(Find<QWidget>(QStringLiteral("LoadFinalV")), Qt::LeftButton);
        QVERIFY(loaded.wait(10000));
        QCOMPARE(view->PlayingFile(), QStringLiteral("final.hap"));
        QCOMPARE(Figure(), typed);
        // A reset replaces the live pose as a load does.
        QTest::keyClicks(box, QStringLiteral("5"));
        QVERIFY(view->ShowsLivePose());
        QTest::mouseClick(Find<QWidget>(QStringLiteral("ResetAnim")), Qt::LeftButton);
        QVERIFY(!view->ShowsLivePose());
        QCOMPARE(Figure(), rest);
    }
};

TW_WINDOW_TEST_MAIN(LivePoseTest)
#include "LivePose_test.moc"
