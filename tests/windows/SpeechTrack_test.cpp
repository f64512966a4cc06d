// The speech track in the character view: the choice remembered per hap file,
// the waveform lined up with the script's time, word marks that catch a click,
// bad files that leave the view working, and, on a real sound server (the
// test command's null sink), playback whose picture keeps to the sound the
// device plays, or runs silently with a note when there is no device.
#include <sndfile.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "generation/HapScript.h"
#include "session/Transport.h"
#include "windows/CharacterView.h"
#include "windows/CharacterWindow.h"
#include "windows/MainForm.h"
#include "windows/SpeechOutput.h"
#include "windows/ViewOverlay.h"

using namespace tw;

namespace {

// Clicks: 5 ms bursts at full scale at each time, silence elsewhere.
bool WriteClicks(const QString& path, double seconds, const std::vector<double>& clicks, int rate = 48000,
                 int channels = 1) {
    std::vector<float> samples(static_cast<std::size_t>(seconds * rate) * channels, 0.0f);
    for (double t : clicks)
        for (int i = 0; i < rate / 200; ++i)
            for (int c = 0; c < channels; ++c) {
                const std::size_t at = (static_cast<std::size_t>(t * rate) + i) * channels + c;
                if (at < samples.size()) samples[at] = (i % 2 ? -0.95f : 0.95f);
            }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file) return false;
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(file);
    return true;
}

// HeadTwist from 0 at time 0 to 1 at `last`.
QByteArray Script(double last) {
    std::string block = "#Haptek  Version= 2.00 Name= s.hap   HapType= script FileType= text\r\n\r\n";
    AppendRegisterLine(block, 0, "", "HeadTwist", 0);
    AppendRegisterLine(block, last, "", "HeadTwist", 1);
    return QByteArray::fromStdString(QuotedRecord(block));
}

}  // namespace

class SpeechTrackTest : public QObject {
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
    bool Load(const QString& path) {
        QSignalSpy done(view_.get(), &CharacterView::LoadFinished);
        view_->SendCommand(QStringLiteral("\\load [file= [%1]]").arg(path));
        return done.wait(10000);
    }
    SpeechTrack& Speech() { return view_->Controller().Speech(); }
    bool Decoded() {
        return QTest::qWaitFor([this] { return Speech().Peaks() != nullptr && !Speech().IsDecoding(); },
                               20000);
    }
    QImage Render() { return view_->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    // How far from the waveform band's middle the sound reaches in column x.
    int Reach(const QImage& image, const QRect& wave, int x) {
        int reach = 0;
        const QRgb background = image.pixel(wave.left() + 1, wave.top() + 1);
        for (int y = wave.top(); y <= wave.bottom(); ++y)
            if (image.pixel(x, y) != background && qGreen(image.pixel(x, y)) > 150)
                reach = std::max(reach, std::abs(y - wave.center().y()));
        return reach;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        qputenv("XDG_CONFIG_HOME", QDir(dir_.path()).filePath("config").toLocal8Bit());
    }
    void init() {
        view_ = std::make_unique<CharacterView>(nullptr);
        view_->resize(273, 337);
        now_ = 1000;
        view_->SetClock([this] { return now_; });
    }
    void cleanup() { view_.reset(); }

    void theChoiceIsRememberedPerHapFile() {
        const QString sound = dir_.filePath("lines.wav");
        QVERIFY(WriteClicks(sound, 1, {0.5}));
        Speech().SetActiveFile(dir_.filePath("a.hap"));
        Speech().SetAudio(sound);
        Speech().SetOffset(-0.75);
        QVERIFY(Decoded());
        Speech().SetActiveFile(dir_.filePath("b.hap"));
        QVERIFY(Speech().Choice().audio.isEmpty());
        QVERIFY(!Speech().Peaks());
        // Back on the first file, in a new view as after a restart.
        view_ = std::make_unique<CharacterView>(nullptr);
        Speech().SetActiveFile(dir_.filePath("a.hap"));
        QCOMPARE(Speech().Choice().audio, sound);
        QCOMPARE(Speech().Offset(), -0.75);
        QVERIFY(Decoded());
        QCOMPARE(Speech().Clip()->Frames(), 48000);
        // "No speech track" forgets it.
        Speech().SetAudio(QString());
        QVERIFY(RememberedSpeech(dir_.filePath("a.hap")).audio.isEmpty());
    }

    void theMainWindowsActiveFileBringsBackItsSpeechTrack() {
        const QString sound = dir_.filePath("main.wav");
        QVERIFY(WriteClicks(sound, 1, {0.25}));
        const QString hap = dir_.filePath("main.hap");
        RememberSpeech(hap, {sound, 0.5, QString()});
        MainForm form;
        auto* view = form.findChild<CharacterView*>(QStringLiteral("ActiveHaptekX1"));
        QVERIFY(view);
        QVERIFY(view->Controller().Speech().Choice().audio.isEmpty());
        form.OpenFile(hap);
        QCOMPARE(view->Controller().Speech().Choice().audio, sound);
        QCOMPARE(view->Controller().Speech().Offset(), 0.5);
        form.findChild<QLineEdit*>(QStringLiteral("ActiveFile"))->setText(dir_.filePath("other.hap"));
        QVERIFY(view->Controller().Speech().Choice().audio.isEmpty());
    }

    void theWaveformLinesUpWithTheScriptTimeThroughTheOffset() {
        QVERIFY(Load(Write("s.hap", Script(4))));
        const QString sound = dir_.filePath("clicks.wav");
        QVERIFY(WriteClicks(sound, 3, {0.5, 2.0}, 44100, 2));
        Speech().SetActiveFile(dir_.filePath("w.hap"));
        Speech().SetAudio(sound);
        Speech().SetOffset(1.0);  // clicks heard at 1.5 s and 3 s of the script
        QVERIFY(Decoded());
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
        const QImage image = Render();
        const QRect area = view_->contentsRect();
        const QRect wave = ViewOverlay::WaveRect(area, 24);
        const auto columnOf = [&](double t) {
            return area.left() + TimeScale{0, 4, area.width()}.ColumnOf(t);
        };
        QVERIFY(Reach(image, wave, columnOf(1.5)) >= 8);
        QVERIFY(Reach(image, wave, columnOf(3.0)) >= 8);
        // Silence is the hairline through the middle.
        QVERIFY(Reach(image, wave, columnOf(2.25)) <= 1);
        QVERIFY(Reach(image, wave, columnOf(0.5)) <= 1);  // before the sound starts
        // The overview above it is tinted where the sound lies outside the
        // script's span (here nowhere) and plain inside.
        const QRect overview = ViewOverlay::OverviewRect(area, 24);
        QVERIFY(overview.bottom() < wave.top());
    }

    void aClickNearAMarkLandsOnItsStartExactly() {
        QVERIFY(Load(Write("s.hap", Script(4))));
        const QString sound = dir_.filePath("m.wav");
        QVERIFY(WriteClicks(sound, 4, {}));
        const QString labels = Write("m.txt", "1.234567\t1.5\thello\nnot a mark\n2.5\t2.5\tthere\n");
        Speech().SetActiveFile(dir_.filePath("m.hap"));
        Speech().SetAudio(sound);
        Speech().SetMarks(labels);
        QVERIFY(Decoded());
        QCOMPARE(Speech().Marks().size(), std::size_t{2});
        QVERIFY(view_->Note().contains(QStringLiteral("1 line(s) of m.txt skipped")));
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
        const QRect area = view_->contentsRect();
        const int x = area.left() + TimeScale{0, 4, area.width()}.ColumnOf(1.234567);
        const int y = ViewOverlay::WaveRect(area, 24).center().y();  // on the waveform band
        QTest::mouseClick(view_.get(), Qt::LeftButton, {}, QPoint(x + 2, y));
        QCOMPARE(view_->ClockTime(), 1.234567);
        QTest::mouseClick(view_.get(), Qt::LeftButton, {}, QPoint(x + 9, y));
        QVERIFY(view_->ClockTime() != 1.234567);
        // Remembered with the track.
        QCOMPARE(RememberedSpeech(dir_.filePath("m.hap")).marks, labels);
    }

    void badSoundFilesLeaveTheViewWorking() {
        QVERIFY(Load(Write("s.hap", Script(2))));
        Speech().SetActiveFile(dir_.filePath("bad.hap"));
        for (const QByteArray& bytes :
             {QByteArray("RIFF\x10\0\0\0WAVEjunk", 16), QByteArray("plain text"), QByteArray()}) {
            const QString path = Write("bad.wav", bytes);
            Speech().SetAudio(path);
            QVERIFY(QTest::qWaitFor([this] { return !Speech().IsDecoding(); }, 10000));
            QVERIFY(!Speech().Peaks());
            QVERIFY2(view_->Note().contains(QStringLiteral("bad.wav")), qPrintable(view_->Note()));
            // Playback goes on without it.
            now_ += 500;
            view_->Tick();
            QCOMPARE(view_->ClockTime(), 0.5);
            view_->Controller().TogglePause();
            view_->Controller().ScrubTo(0);
            view_->Controller().TogglePause();
            QVERIFY(view_->IsPlaying());
        }
    }

    // On a real sound server (the test command's null sink): over ten
    // seconds the picture's time and the time the device has played never
    // part by more than a frame, and pause holds both.
    void playbackKeepsToTheSoundTheDevicePlays() {
        if (qEnvironmentVariableIsEmpty("PULSE_SERVER") && qEnvironmentVariableIsEmpty("TW_SOUND_TESTS"))
            QSKIP("no sound server of the tests' own (the test command starts one)");
        view_ = std::make_unique<CharacterView>(nullptr);  // on the machine's clock
        const QString sound = dir_.filePath("ten.wav");
        QVERIFY(WriteClicks(sound, 11, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 44100, 1));
        Speech().SetActiveFile(dir_.filePath("sync.hap"));
        Speech().SetAudio(sound);
        QVERIFY(Decoded());
        QVERIFY(Load(Write("s.hap", Script(10.5))));
        SpeechOutput* output = view_->Controller().Output();
        QVERIFY(output);
        QVERIFY(QTest::qWaitFor([&] { return output->PlayedMicroseconds() > 0; }, 3000));
        QVERIFY2(view_->Controller().Sync().Sounding(), qPrintable(view_->Note()));
        // Each frame the view draws: the time it shows, and what the device
        // says it has played by then (the sound started at the script's 0).
        double worst = 0, first = -1, last = 0;
        QElapsedTimer wall;
        wall.start();
        int samples = 0;
        const QMetaObject::Connection frames =
            connect(&view_->Controller(), &PlayerController::Changed, this, [&] {
                const double played = output->PlayedMicroseconds() / 1e6;
                const double shown = view_->ClockTime();
                if (played <= 0 || !view_->IsPlaying()) return;
                if (first < 0) first = wall.elapsed() / 1000.0;
                last = wall.elapsed() / 1000.0;
                worst = std::max(worst, std::abs(shown - played));
                if (qEnvironmentVariableIsSet("TW_SYNC_TRACE") && samples % 50 == 0)
                    qInfo("wall %.3f shown %.3f played %.3f handed %lld buffered %lld", last, shown, played,
                          static_cast<long long>(output->HandedFrames()),
                          static_cast<long long>(output->BufferedFrames()));
                ++samples;
            });
        QVERIFY(QTest::qWaitFor([&] { return !view_->IsPlaying(); }, 30000));
        disconnect(frames);
        qInfo("%d samples over %.2f s, the picture and the device at most %.1f ms apart", samples,
              last - first, worst * 1000);
        QVERIFY(samples > 200);
        QVERIFY(last - first > 9.5);
        QVERIFY2(worst <= 1.0 / 30, qPrintable(QString::number(worst)));
    }

    // With no sound server, playback runs on the ordinary clock and the
    // corner says so. Run in a process of its own, pointed at no server.
    void withoutASoundDevicePlaybackGoesOnSilentlyWithANote() {
        if (qEnvironmentVariableIsSet("TW_NO_SOUND_CHILD")) {
            QVERIFY(Load(Write("s.hap", Script(2))));
            const QString sound = dir_.filePath("quiet.wav");
            QVERIFY(WriteClicks(sound, 1, {0.5}));
            Speech().SetActiveFile(dir_.filePath("quiet.hap"));
            Speech().SetAudio(sound);
            QVERIFY(Decoded());
            QVERIFY(QTest::qWaitFor(
                [this] { return view_->Note().contains(QStringLiteral("no sound device")); }, 5000));
            now_ += 700;
            view_->Tick();
            QCOMPARE(view_->ClockTime(), 0.7);
            return;
        }
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TW_NO_SOUND_CHILD"), QStringLiteral("1"));
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/tw-no-server"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("child-config")));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("withoutASoundDevicePlaybackGoesOnSilentlyWithANote")});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY2(child.exitCode() == 0, child.readAll().constData());
    }
};

QTEST_MAIN(SpeechTrackTest)
#include "SpeechTrack_test.moc"
