// The character view worked as an animator works it: the camera turned,
// zoomed and brought home, the timeline scrubbed, playback paused, stepped
// and looped, the ghosts shown, the large window opened, and the pose that
// follows the value slider. Playback time comes from a test clock.
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>

#include "WindowTestSupport.h"
#include "generation/HapScript.h"
#include "windows/CharacterView.h"
#include "windows/CharacterWindow.h"

using namespace tw;

namespace {

int Reg(std::string_view name) {
    for (int i = 0; i < RegisterCount; ++i)
        if (RegisterCatalogue()[i].name == name) return i;
    return -1;
}

// Three seconds of movement, ten keyframe times a second: the head turns,
// an arm rises.
QByteArray Movement() {
    std::string block = "#Haptek  Version= 2.00 Name= move.hap   HapType= script FileType= text\r\n\r\n";
    for (int f = 0; f <= 30; ++f) {
        AppendRegisterLine(block, f / 10.0, "", "HeadTwist", -0.6 + 0.04 * f);
        AppendRegisterLine(block, f / 10.0, "", "LShoOut", 0.05 * f);
        AppendRegisterLine(block, f / 10.0, "", "RElbowBendJoint", 0.03 * f);
    }
    return QByteArray::fromStdString(QuotedRecord(block));
}

// A press, moves in steps and a release, sent straight to the widget.
void Drag(QWidget* w, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton,
          Qt::KeyboardModifiers mods = {}) {
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent e(type, at, w->mapToGlobal(at), button, held, mods);
        QApplication::sendEvent(w, &e);
    };
    send(QEvent::MouseButtonPress, from, button);
    for (int i = 1; i <= 8; ++i) send(QEvent::MouseMove, from + (to - from) * i / 8, button);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
}

void Wheel(QWidget* w, QPoint at, int notches) {
    QWheelEvent e(at, w->mapToGlobal(at), {}, {0, 120 * notches}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

// Runs the view's context menu at `at` and picks the entry named `text`.
void PickFromMenu(QWidget* w, QPoint at, const QString& text) {
    QTimer::singleShot(0, [text] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        for (QAction* a : menu->actions())
            if (a->text() == text) a->trigger();
        menu->close();
    });
    QContextMenuEvent e(QContextMenuEvent::Mouse, at, w->mapToGlobal(at));
    QApplication::sendEvent(w, &e);
}

// How many pixels differ from the background colour at the view's corner,
// a measure of how large the figure is drawn.
int FigurePixels(const QImage& image) {
    int n = 0;
    for (int y = 30; y < image.height() - 30; ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y), edge = image.pixelColor(4, y);
            n += std::abs(c.red() - edge.red()) + std::abs(c.green() - edge.green()) > 40;
        }
    return n;
}

}  // namespace

class CharacterViewControlsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<CharacterView> view_;
    qint64 now_ = 0;

    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
        return path;
    }

    bool Load(CharacterView* view, const QString& path) {
        QSignalSpy done(view, &CharacterView::LoadFinished);
        view->SendCommand(QStringLiteral("\\load [file= [%1]]").arg(path));
        return done.wait(10000);
    }

    QImage Render(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // The picture without its corner labels and the timeline.
    QImage Figure(QWidget* w) {
        const QImage all = Render(w);
        return all.copy(QRect(0, 22, all.width(), all.height() - 22 - 20));
    }

    QPoint Middle() const { return view_->contentsRect().center() - QPoint(0, 30); }
    // A point on the timeline at `share` of its width.
    QPoint OnTimeline(double share) const {
        const QRect r = view_->contentsRect();
        return QPoint(r.left() + static_cast<int>(std::lround(share * (r.width() - 1))), r.bottom() - 5);
    }
    void Key(QWidget* w, Qt::Key key) { QTest::keyClick(w, key); }

private slots:
    void initTestCase() {
        // The large window's place is kept in a settings file of this run.
        qputenv("XDG_CONFIG_HOME", QDir(dir_.path()).filePath("config").toLocal8Bit());
    }

    void init() {
        view_ = std::make_unique<CharacterView>(nullptr);
        view_->resize(273, 337);
        now_ = 5000;
        view_->SetClock([this] { return now_; });
        QVERIFY(test::ShowActive(view_.get()));
        view_->setFocus();
    }
    void cleanup() { view_.reset(); }

    void scrubbedPoseIsThePlayersPoseAtThatTime() {
        const QString path = Write("move.hap", Movement());
        QVERIFY(Load(view_.get(), path));
        QVERIFY(view_->HasTimeline());
        QCOMPARE(view_->KeyframeClockTimes().size(), std::size_t(31));
        for (double share : {0.0, 0.37, 0.8, 1.0}) {
            QTest::mouseClick(view_.get(), Qt::LeftButton, {}, OnTimeline(share));
            QVERIFY(view_->IsPaused());
            const double t = view_->ClockTime();
            QVERIFY(std::fabs(t - 3 * share) < 0.02);
            const QImage scrubbed = Figure(view_.get());
            const PoseValues values = view_->Values();

            // Another view plays the same file up to that time.
            CharacterView player(nullptr);
            player.resize(view_->size());
            qint64 clock = 0;
            player.SetClock([&clock] { return clock; });
            QVERIFY(Load(&player, path));
            clock = std::llround(t * 1000);
            player.Tick();
            QCOMPARE(player.Values(), values);
            // Its picture is the same but for the focus line round the edge.
            QCOMPARE(Figure(&player).copy(2, 0, 269, 200), scrubbed.copy(2, 0, 269, 200));
        }
        // At the left end after playing: the initial pose.
        QTest::mouseClick(view_.get(), Qt::LeftButton, {}, OnTimeline(0));
        QCOMPARE(view_->ClockTime(), 0.0);
        QCOMPARE(view_->Values()[Reg("HeadTwist")], -0.6f);
        // A drag along the timeline that leaves the view stops at its end.
        Drag(view_.get(), OnTimeline(0.5), OnTimeline(0.5) + QPoint(900, 60));
        QCOMPARE(view_->ClockTime(), 3.0);
        QVERIFY(view_->IsPaused());
    }

    void orbitMovesPixelsNotThePoseAndHomeBringsBackTheStart() {
        QVERIFY(Load(view_.get(), Write("move.hap", Movement())));
        Key(view_.get(), Qt::Key_Space);
        QVERIFY(view_->IsPaused());
        const QImage start = Render(view_.get());
        const PoseValues pose = view_->Values();

        Drag(view_.get(), Middle(), Middle() + QPoint(70, 25));
        QVERIFY(!(view_->Camera() == StartupCamera()));
        QVERIFY(Render(view_.get()) != start);
        QCOMPARE(view_->Values(), pose);
        Wheel(view_.get(), Middle(), 2);
        Drag(view_.get(), Middle(), Middle() + QPoint(-30, 10), Qt::MiddleButton);
        Drag(view_.get(), Middle(), Middle() + QPoint(20, 0), Qt::LeftButton, Qt::ShiftModifier);
        QVERIFY(Render(view_.get()) != start);
        Key(view_.get(), Qt::Key_Home);
        QCOMPARE(Render(view_.get()), start);

        // A tilt stops at 80 degrees, and the menu's presets turn the camera.
        Drag(view_.get(), Middle(), Middle() + QPoint(0, 5000));
        QCOMPARE(view_->Camera().pitch, MaxTilt);
        PickFromMenu(view_.get(), Middle(), QStringLiteral("Front"));
        QCOMPARE(view_->Camera(), PresetCamera(CameraPreset::Front));
        PickFromMenu(view_.get(), Middle(), QStringLiteral("Three-quarter"));
        QCOMPARE(Render(view_.get()), start);

        // A click without movement leaves the camera alone.
        QTest::mouseClick(view_.get(), Qt::LeftButton, {}, Middle());
        QCOMPARE(view_->Camera(), StartupCamera());
    }

    void wheelZoomsWithinItsLimits() {
        const int before = FigurePixels(Render(view_.get()));
        Wheel(view_.get(), Middle(), 3);
        const int larger = FigurePixels(Render(view_.get()));
        QVERIFY2(larger > before * 3 / 2, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(larger)));
        Wheel(view_.get(), Middle(), 100);
        QCOMPARE(view_->Camera().zoom, MaxZoom);
        Wheel(view_.get(), Middle(), -100);
        QCOMPARE(view_->Camera().zoom, MinZoom);
        QVERIFY(FigurePixels(Render(view_.get())) < before);
    }

    void spacePausesAndResumesAndArrowsStep() {
        QVERIFY(Load(view_.get(), Write("move.hap", Movement())));
        now_ += 1000;
        view_->Tick();
        QCOMPARE(view_->ClockTime(), 1.0);
        Key(view_.get(), Qt::Key_Space);
        QVERIFY(view_->IsPaused());
        QVERIFY(!view_->IsPlaying());
        const QImage frozen = Render(view_.get());
        now_ += 600;
        view_->Tick();
        QCOMPARE(view_->ClockTime(), 1.0);
        QCOMPARE(Render(view_.get()), frozen);

        Key(view_.get(), Qt::Key_Space);
        QVERIFY(view_->IsPlaying());
        now_ += 600;
        view_->Tick();
        QCOMPARE(view_->ClockTime(), 1.6);
        QVERIFY(Render(view_.get()) != frozen);

        Key(view_.get(), Qt::Key_Right);
        QVERIFY(view_->IsPaused());
        QCOMPARE(view_->ClockTime(), 1.7);
        Key(view_.get(), Qt::Key_Left);
        Key(view_.get(), Qt::Key_Left);
        QCOMPARE(view_->ClockTime(), 1.5);
        QCOMPARE(view_->Values()[Reg("HeadTwist")], static_cast<float>(-0.6 + 0.04 * 15));

        // Played to its end without looping, the script stays on its last pose;
        // Space then plays it again from the start.
        Key(view_.get(), Qt::Key_Space);
        now_ += 10000;
        view_->Tick();
        QCOMPARE(view_->ClockTime(), 3.0);
        QVERIFY(!view_->IsPlaying());
        QVERIFY(!view_->IsPaused());
        Key(view_.get(), Qt::Key_Space);
        QCOMPARE(view_->ClockTime(), 0.0);
    }

    void loopingWrapsTheTime() {
        QVERIFY(Load(view_.get(), Write("move.hap", Movement())));
        Key(view_.get(), Qt::Key_L);
        QVERIFY(view_->IsLooping());
        now_ += 7250;  // 7.25 s into a 3 s script: 1.25 s into its third round
        view_->Tick();
        QVERIFY(view_->IsPlaying());
        QVERIFY(std::fabs(view_->ClockTime() - 1.25) < 1e-9);
        Key(view_.get(), Qt::Key_L);
        QVERIFY(!view_->IsLooping());
        now_ += 5000;
        view_->Tick();
        QCOMPARE(view_->ClockTime(), 3.0);
        QVERIFY(!view_->IsPlaying());
    }

    void oneTimeScriptsAndFailedLoads() {
        // A failed load: no timeline, and the transport keys do nothing.
        QVERIFY(Load(view_.get(), dir_.filePath("missing.hap")));
        QVERIFY(!view_->HasTimeline());
        for (Qt::Key k : {Qt::Key_Space, Qt::Key_L, Qt::Key_Right}) Key(view_.get(), k);
        QVERIFY(!view_->IsLooping());
        QVERIFY(!view_->IsPaused());
        const QImage none = Render(view_.get());
        QTest::mouseClick(view_.get(), Qt::LeftButton, {}, OnTimeline(0.5));
        QCOMPARE(Render(view_.get()), none);

        // One clock time: one tick, and every place on the timeline is that pose.
        std::string block = "#Haptek  Version= 2.00\r\n\r\n";
        AppendRegisterLine(block, 2, "", "HeadTwist", 0.4);
        QVERIFY(Load(view_.get(), Write("one.hap", QByteArray::fromStdString(QuotedRecord(block)))));
        QCOMPARE(view_->KeyframeClockTimes(), std::vector<double>{2});
        for (double share : {0.0, 0.5, 1.0}) {
            QTest::mouseClick(view_.get(), Qt::LeftButton, {}, OnTimeline(share));
            QCOMPARE(view_->ClockTime(), 2.0);
            QCOMPARE(view_->Values()[Reg("HeadTwist")], 0.4f);
        }
        Key(view_.get(), Qt::Key_L);
        Key(view_.get(), Qt::Key_Space);
        now_ += 3000;
        view_->Tick();
        QCOMPARE(view_->ClockTime(), 2.0);
    }

    void ghostsShowTheFirstAndLastPoseBehind() {
        QVERIFY(Load(view_.get(), Write("move.hap", Movement())));
        QVERIFY(!view_->ShowsGhosts());
        QTest::mouseClick(view_.get(), Qt::LeftButton, {}, OnTimeline(0.5));
        const QImage plain = Render(view_.get());
        const PoseValues pose = view_->Values();
        PickFromMenu(view_.get(), Middle(), QStringLiteral("Ghosts of First and Last Pose"));
        QVERIFY(view_->ShowsGhosts());
        const QImage ghosts = Render(view_.get());
        QVERIFY(ghosts != plain);
        QCOMPARE(view_->Values(), pose);
        // Both tints are there: bluish and orange pixels the plain picture lacks.
        int blue = 0, orange = 0;
        for (int y = 0; y < ghosts.height(); ++y)
            for (int x = 0; x < ghosts.width(); ++x) {
                if (ghosts.pixel(x, y) == plain.pixel(x, y)) continue;
                const QColor c = ghosts.pixelColor(x, y);
                blue += c.blue() > c.red() + 20;
                orange += c.red() > c.blue() + 20;
            }
        QVERIFY2(blue > 50 && orange > 50, qPrintable(QStringLiteral("%1 %2").arg(blue).arg(orange)));
        PickFromMenu(view_.get(), Middle(), QStringLiteral("Ghosts of First and Last Pose"));
        QCOMPARE(Render(view_.get()), plain);
    }

    void largeWindowShowsAndDrivesTheSamePlayer() {
        QVERIFY(Load(view_.get(), Write("move.hap", Movement())));
        now_ += 1200;
        view_->Tick();
        QTest::mouseDClick(view_.get(), Qt::LeftButton, {}, Middle());
        CharacterWindow* large = view_->findChild<CharacterWindow*>(QStringLiteral("CharacterWindow"));
        QVERIFY(large);
        QVERIFY(QTest::qWaitForWindowExposed(large));
        QCOMPARE(large->windowTitle(), QStringLiteral("Character"));
        QWidget* surface = large->findChild<QWidget*>(QStringLiteral("CharacterSurface"));
        QVERIFY(surface);

        // At the view's size the large window draws the view's picture.
        large->resize(view_->contentsRect().size());
        QTRY_COMPARE(surface->size(), view_->contentsRect().size());
        const QRect inner = QRect(QPoint(0, 0), surface->size()).adjusted(1, 1, -1, -1);
        const QImage small = Render(view_.get()).copy(view_->contentsRect()).copy(inner);
        QCOMPARE(Render(surface).copy(inner), small);

        // Its keys and mouse work the same player.
        surface->setFocus();
        Key(surface, Qt::Key_Space);
        QVERIFY(view_->IsPaused());
        Drag(surface, surface->rect().center(), surface->rect().center() + QPoint(40, 0));
        QVERIFY(!(view_->Camera() == StartupCamera()));
        large->resize(500, 600);
        QTRY_COMPARE(surface->size(), QSize(500, 600));

        // Closed, it changes nothing else; its place is kept for next time.
        const double t = view_->ClockTime();
        const ViewCamera camera = view_->Camera();
        large->close();
        QVERIFY(!large->isVisible());
        QCOMPARE(view_->ClockTime(), t);
        QCOMPARE(view_->Camera(), camera);
        QVERIFY(view_->IsPaused());
        QVERIFY(!QSettings(QStringLiteral("Tweenwright"), QStringLiteral("Tweenwright"))
                     .value(QStringLiteral("CharacterWindow/geometry"))
                     .toByteArray()
                     .isEmpty());
        view_->OpenLarge();
        QCOMPARE(view_->findChildren<CharacterWindow*>().size(), 1);
        QVERIFY(large->isVisible());
    }
};

TW_WINDOW_TEST_MAIN(CharacterViewControlsTest)
#include "CharacterViewControls_test.moc"
