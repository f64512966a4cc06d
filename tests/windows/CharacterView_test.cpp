// The character view as the program drives it: commands in, pictures of the
// figure out, rendered offscreen, with playback time driven by a test clock.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "WindowTestSupport.h"
#include "document/FixedPaths.h"
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

struct Key {
    double time;
    const char* name;
    double value;
};

// A script as the generator writes it: header, empty line, register lines.
QByteArray Script(std::initializer_list<Key> keys) {
    std::string block = "#Haptek  Version= 2.00 Name= test.hap   HapType= script FileType= text\r\n\r\n";
    for (const Key& k : keys) AppendRegisterLine(block, k.time, "", k.name, k.value);
    return QByteArray::fromStdString(QuotedRecord(block));
}

}  // namespace

class CharacterViewTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<CharacterView> view_;
    qint64 now_ = 0;

    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) return path;
        f.write(bytes);
        return path;
    }

    // Sends a load and waits for its file work, not for the clock.
    bool Load(const QString& path, const char* command = "\\load") {
        QSignalSpy done(view_.get(), &CharacterView::LoadFinished);
        view_->SendCommand(QStringLiteral("%1 [file= [%2]]").arg(QLatin1String(command), path));
        return done.wait(10000);
    }

    QImage Render() { return view_->grab().toImage().convertToFormat(QImage::Format_RGB32); }

private slots:
    void init() {
        view_ = std::make_unique<CharacterView>(nullptr);
        view_->resize(273, 337);
        now_ = 5000;
        view_->SetClock([this] { return now_; });
    }
    void cleanup() { view_.reset(); }

    void restPoseIsStableAndDrawn() {
        const QImage first = Render(), second = Render();
        QCOMPARE(first, second);
        // The figure is there: the middle of the view is not the background.
        QVERIFY(first.pixel(136, 168) != first.pixel(10, 168));
    }

    // The view draws its scene through the same renderer that draws frames
    // without a window: between the corner labels and the timeline, the view
    // shows exactly the frame at its time, in the view and in the large window.
    void viewShowsTheRenderersFrameAtItsTime() {
        QVERIFY(Load(Write("move.hap", Script({{0, "HeadTwist", 0}, {0, "RShoOut", 0}, {1, "HeadTwist", 0.5},
                                                {1, "RShoOut", 0.6}, {2, "HeadTwist", 0.7}}))));
        now_ += 1300;
        view_->Tick();
        const QRect r = view_->contentsRect();
        const QRect middle(0, 22, r.width(), r.height() - 22 - 20);
        const QImage frame = view_->Controller().Scene().Frame(view_->ClockTime(), r.size());
        QCOMPARE(Render().copy(r).copy(middle), frame.copy(middle));
        QVERIFY(frame != view_->Controller().Scene().Frame(0, r.size()));

        view_->OpenLarge();
        QWidget* surface = view_->LargeWindow()->findChild<QWidget*>(QStringLiteral("CharacterSurface"));
        QVERIFY(surface);
        surface->resize(400, 500);
        const QImage large = surface->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect inner(0, 22, large.width(), large.height() - 22 - 20);
        QCOMPARE(large.copy(inner), view_->Controller().Scene().Frame(view_->ClockTime(), large.size()).copy(inner));
    }

    void headTwistChangesOnlyTheHead() {
        QDir().mkpath(dir_.filePath("a"));
        QDir().mkpath(dir_.filePath("b"));
        QVERIFY(Load(Write("a/pose.hap", Script({{0, "HeadTwist", 0}}))));
        const QImage rest = Render();
        QVERIFY(Load(Write("b/pose.hap", Script({{0, "HeadTwist", 0.6}}))));
        const QImage turned = Render();
        QCOMPARE(view_->Values()[Reg("HeadTwist")], 0.6f);

        const PoseJoints joints = ComputeJoints(PoseValues{});
        const QRect r = view_->contentsRect();
        const float neckY = Project(joints[Neck].position, {r.width(), r.height()}).at.y + r.top();
        int changed = 0;
        for (int y = 0; y < rest.height(); ++y)
            for (int x = 0; x < rest.width(); ++x)
                if (rest.pixel(x, y) != turned.pixel(x, y)) {
                    ++changed;
                    QVERIFY2(y < neckY, qPrintable(QStringLiteral("pixel %1,%2 below the neck").arg(x).arg(y)));
                }
        QVERIFY(changed > 30);
    }

    void playedScriptReachesItsLastPoseAtItsLastTime() {
        const QString path = Write("walk.hap", Script({{1, "HeadForward", 0.1},
                                                      {2, "HeadForward", 0.2},
                                                      {2, "LShoOut", 0.5},
                                                      {3, "HeadForward", 0.3}}));
        QVERIFY(Load(path));
        QVERIFY(view_->IsPlaying());
        QCOMPARE(view_->PlayingFile(), QStringLiteral("walk.hap"));
        QCOMPARE(view_->ClockTime(), 1.0);
        QCOMPARE(view_->Values()[Reg("HeadForward")], 0.1f);

        now_ += 1500;  // t = 2.5: values held from their last keyframe
        view_->Tick();
        QCOMPARE(view_->ClockTime(), 2.5);
        QCOMPARE(view_->Values()[Reg("HeadForward")], 0.2f);
        QVERIFY(view_->IsPlaying());

        now_ += 500;  // t = 3: the last pose, and playing stops there
        view_->Tick();
        QCOMPARE(view_->ClockTime(), 3.0);
        QVERIFY(!view_->IsPlaying());
        QCOMPARE(view_->Values()[Reg("HeadForward")], 0.3f);
        QCOMPARE(view_->Values()[Reg("LShoOut")], 0.5f);
        QCOMPARE(view_->Values()[Reg("HeadTwist")], 0.0f);  // never named: at rest
        const QImage end = Render();
        now_ += 10000;
        view_->Tick();
        QCOMPARE(view_->ClockTime(), 3.0);
        QCOMPARE(Render(), end);

        // A new load replaces the running one, even when sent before the first
        // is ready; a reset stops playing and stands at rest.
        const QString second = Write("second.hap", Script({{0, "RShoOut", 1}, {4, "RShoOut", 1.2}}));
        view_->SendCommand(QStringLiteral("\\load [file= [%1]]").arg(path));
        QVERIFY(Load(second));
        QTRY_VERIFY(!view_->IsLoading());
        QCOMPARE(view_->PlayingFile(), QStringLiteral("second.hap"));
        QCOMPARE(view_->Values()[Reg("HeadForward")], 0.0f);
        QCOMPARE(view_->Values()[Reg("RShoOut")], 1.0f);
        view_->SendCommand(QStringLiteral("\\Reset"));
        QVERIFY(!view_->IsPlaying());
        QCOMPARE(view_->Values(), PoseValues{});
        QCOMPARE(view_->Commands().last(), QStringLiteral("\\Reset"));
    }

    void brokenInputLeavesANoteAndTheViewRunning() {
        const QString playing = Write("ok.hap", Script({{0, "HeadTwist", 0.2}, {9, "HeadTwist", 0.3}}));
        QVERIFY(Load(playing));
        QDir().mkpath(dir_.filePath("folder.hap"));
        const struct {
            QString path;
            QString note;
        } cases[] = {
            {dir_.filePath("nothere.hap"), "cannot read nothere.hap: no such file"},
            {Write("empty.hap", {}), "empty.hap: empty file"},
            {Write("noise.hap", QByteArray("\x00\xff\"\\clock [t= x]\r\n\\setreg[name=\n\x1b", 33)),
             "noise.hap: no register lines"},
            {dir_.filePath("folder.hap"), "cannot read folder.hap: not a file"},
            {Write("bad.jpg", "not a picture"), "cannot show bad.jpg: not a picture"},
            {dir_.filePath("gone.htr"), "cannot read gone.htr: no such file"},
        };
        for (const auto& c : cases) {
            QVERIFY(Load(c.path));
            QCOMPARE(view_->Note(), c.note);
            // The script already playing goes on.
            QVERIFY(view_->IsPlaying());
            QCOMPARE(view_->PlayingFile(), QStringLiteral("ok.hap"));
        }
        view_->SendCommand(QStringLiteral("\\Play [file= [x.hap]]"));
        QCOMPARE(view_->Note(), QStringLiteral("unknown command: \\Play [file= [x.hap]]"));
        QVERIFY(!Render().isNull());
        // A good load clears the note.
        QVERIFY(Load(Write("lady.htr", "character")));
        QCOMPARE(view_->CharacterName(), QStringLiteral("lady.htr"));
        QVERIFY(view_->Note().isEmpty());
    }

    void picturesBecomeSkinAndBackground() {
        QImage green(64, 64, QImage::Format_RGB32);
        green.fill(QColor(40, 200, 60));
        QVERIFY(green.save(dir_.filePath("skin.jpg"), "JPG"));
        QVERIFY(Load(dir_.filePath("skin.jpg")));
        const QColor skin = view_->Look()[Material::Skin];
        QVERIFY2(skin.green() > skin.red() + 100 && skin.green() > skin.blue() + 100, qPrintable(skin.name()));

        QImage red(40, 20, QImage::Format_RGB32);  // wider than the view: fills it, cut at the sides
        red.fill(QColor(220, 20, 20));
        QVERIFY(red.save(dir_.filePath("bg.jpeg"), "JPG"));
        QVERIFY(Load(dir_.filePath("bg.jpeg"), "\\loadBG"));
        QVERIFY(view_->HasBackground());
        const QRect r = view_->contentsRect();
        for (QPoint corner : {r.topLeft() + QPoint(2, 40), r.bottomRight() - QPoint(2, 2)}) {
            const QColor c = Render().pixelColor(corner);
            QVERIFY2(c.red() > 180 && c.green() < 70, qPrintable(c.name()));
        }

        // The start-up background need not exist: then the plain one, no note.
        qputenv("HOME", dir_.path().toLocal8Bit());
        QVERIFY(Load(QString::fromStdString(StartupBackgroundPath()), "\\loadBG"));
        QVERIFY(!view_->HasBackground());
        QVERIFY(view_->Note().isEmpty());
    }
};

TW_WINDOW_TEST_MAIN(CharacterViewTest)
#include "CharacterView_test.moc"
