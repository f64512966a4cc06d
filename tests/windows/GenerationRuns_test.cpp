// Generation runs from the main window, driven with keys and clicks: the
// bytes that reach the file and the clipboard, the fields afterwards, the
// progress window, and runs that must fail without losing anything.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "WindowTestSupport.h"
#include "windows/MainForm.h"
#include "document/RegisterCatalogue.h"
#include "windows/RegisterPanel.h"
#include "windows/ProgressForm.h"

using namespace tw;

namespace {

const QByteArray kHeader =
    "#Haptek  Version= 2.00 Name= insertnamehere.hap   HapType= script FileType= text";

QByteArray Name(int i) {
    return QByteArray(RegisterCatalogue()[i].name.data(),
                      static_cast<qsizetype>(RegisterCatalogue()[i].name.size()));
}

QByteArray Line(const QByteArray& t, const QByteArray& name, const QByteArray& v) {
    return "\\clock [t= " + t + "]   \\setreg[name= " + name + "   f0= " + v + "]\r\n";
}

// Frame 0 with every register at `value`, except the overrides.
QByteArray FirstFrame(const QByteArray& t, QMap<int, QByteArray> overrides = {}) {
    QByteArray frame;
    for (int i = 0; i < RegisterCount; ++i) frame += Line(t, Name(i), overrides.value(i, "0.000"));
    return frame;
}

// Grabs a newly shown progress window from the screen as its bar first
// reaches 40 (before the bar repaints), with the value shown until then.
class MidRunGrab : public QObject {
public:
    QImage screen;
    int shown = 0;
    QRect bar;

    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* progress = qobject_cast<ProgressForm*>(watched);
        if (!progress || event->type() != QEvent::Show || !bar.isNull()) return false;
        bar = test::Control<QProgressBar>(*progress, "CalcProgBar")->geometry();
        connect(test::Control<QProgressBar>(*progress, "CalcProgBar"), &QProgressBar::valueChanged, this, [this, progress](int value) {
            if (!screen.isNull()) return;
            if (value < 40) shown = value;
            else screen = progress->screen()->grabWindow(progress->winId()).toImage();
        });
        return false;
    }
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
}

}  // namespace

class GenerationRunsTest : public QObject {
    Q_OBJECT

    QStringList messages;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<QTemporaryDir> dir;

    QString PathOf(const char* name) { return dir->filePath(QString::fromLatin1(name)); }

    void TypeInto(QLineEdit* field, const QString& text) {
        field->setFocus(Qt::MouseFocusReason);
        field->selectAll();
        QTest::keyClicks(field, text);
    }

    // The fields a failed run must leave as they were.
    QStringList FieldTexts() {
        QStringList texts{test::Edit(*form, "StartTime")->text(), test::Edit(*form, "Finishtime")->text(), test::Edit(*form, "DKeyframe")->text(),
                          test::Edit(*form, "FramesPSec")->text(), test::Edit(*form, "Acceleration")->text(),
                          test::SubHeaderOf(*form)->toPlainText(), test::Edit(*form, "ActiveFile")->text()};
        for (int i = 0; i < RegisterCount; ++i)
            texts << test::Cell(*form, "f0initial", i)->text() << test::Cell(*form, "f0final", i)->text();
        return texts;
    }

private slots:
    void init() {
        messages.clear();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        form = test::ShownMainForm(&messages);
        QVERIFY(form);
    }
    void cleanup() {
        form.reset();
        dir.reset();
    }

    void f5WithATypedPathAppendsTheDefaultBlock() {
        TypeInto(test::Edit(*form, "ActiveFile"), PathOf("walk.hap"));
        TypeInto(test::Edit(*form, "StartTime"), QString());  // focus in a text field, then F5
        QTest::keyClicks(test::Edit(*form, "StartTime"), QStringLiteral("0"));
        QTest::keyClick(test::Edit(*form, "StartTime"), Qt::Key_F5);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QCOMPARE(ReadAll(PathOf("walk.hap")), "\"" + kHeader + "\r\n\r\n" + FirstFrame("0.000") + "\"\r\n");
        QCOMPARE(test::Edit(*form, "StartTime")->text(), QStringLiteral("1"));
        QCOMPARE(test::Edit(*form, "Finishtime")->text(), QStringLiteral("2"));
    }

    void threeRunsAppendThreeRecordsAndAdvanceTheStart() {
        test::Edit(*form, "ActiveFile")->setText(PathOf("three.hap"));
        test::Cell(*form, "f0final", 2)->setText(QStringLiteral("0.5"));  // HeadTwist moves
        test::Edit(*form, "DKeyframe")->setText(QStringLiteral("0.2"));
        test::SubHeaderOf(*form)->setPlainText(QStringLiteral("\\clock [t= 0]   \\setmorph [name= x]\n"));
        test::Edit(*form, "Acceleration")->setFocus();
        QTest::keyClick(test::Edit(*form, "Acceleration"), Qt::Key_F5);
        QTest::keyClick(test::Edit(*form, "Acceleration"), Qt::Key_F5, Qt::ShiftModifier);
        QTest::mouseClick(test::Button(*form, "Gen2Append"), Qt::LeftButton);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        auto block = [](const QByteArray& start, const QByteArray& mid, const QByteArray& end,
                        const QByteArray& sub) {
            return "\"" + kHeader + "\r\n\r\n" + sub + FirstFrame(start, {{2, "0.000"}}) +
                   Line(mid, "HeadTwist", "0.250") + Line(end, "HeadTwist", "0.500") + "\"\r\n";
        };
        const QByteArray sub = "#Haptek code generated by Tweenwright.\r\n"
                               "\\clock [t= 0]   \\setmorph [name= x]\r\n\r\n";
        QCOMPARE(ReadAll(PathOf("three.hap")),
                 block("0.000", "0.100", "0.200", sub) + block("0.200", "0.300", "0.400", "") +
                     block("0.400", "0.500", "0.600", ""));
        QCOMPARE(test::Edit(*form, "StartTime")->text(), QStringLiteral("0.6"));
        QCOMPARE(test::Edit(*form, "Finishtime")->text(), QStringLiteral("0.8"));
        QCOMPARE(test::SubHeaderOf(*form)->toPlainText(), QString());
    }

    void figureAndUserTextReachTheFileInItsCodePage() {
        test::Edit(*form, "ActiveFile")->setText(PathOf("bob.hap"));
        test::Edit(*form, "figure")->setText(QStringLiteral("Bob\u00e9"));
        test::Cell(*form, "setreg", 0)->setText(QStringLiteral("Head\u20ac"));
        test::Edit(*form, "DKeyframe")->setText(QStringLiteral("0.1"));
        test::Button(*form, "Gen2Append")->click();
        QByteArray expected = "\"" + kHeader + "\r\n\r\n";
        for (int i = 0; i < RegisterCount; ++i)
            expected += "\\clock [t= 0.000]   \\setreg[figure= Bob\xe9 name= " +
                        (i == 0 ? QByteArray("Head\x80") : Name(i)) + "   f0= 0.000]\r\n";
        QCOMPARE(ReadAll(PathOf("bob.hap")), expected + "\"\r\n");
    }

    void aNegativeDurationAppendsAnEmptyBlockAndMovesTheStartBack() {
        test::Edit(*form, "ActiveFile")->setText(PathOf("back.hap"));
        test::Edit(*form, "StartTime")->setText(QStringLiteral("5"));
        test::Edit(*form, "DKeyframe")->setText(QStringLiteral("-1"));
        test::Button(*form, "Gen2Append")->click();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QCOMPARE(ReadAll(PathOf("back.hap")), "\"" + kHeader + "\r\n\r\n\"\r\n");
        QCOMPARE(test::Edit(*form, "StartTime")->text(), QStringLiteral("4"));
        QCOMPARE(test::Edit(*form, "Finishtime")->text(), QStringLiteral("3"));
    }

    void clipboardGetsTheBlockWithoutQuotes() {
        test::Cell(*form, "f0initial", 104)->setText(QStringLiteral("-0.0625"));
        test::Cell(*form, "f0final", 104)->setText(QStringLiteral("-0.0625"));
        test::Edit(*form, "DKeyframe")->setText(QStringLiteral("0.1"));
        test::SubHeaderOf(*form)->setPlainText(QStringLiteral("hello"));
        test::Button(*form, "Gen2Clip")->click();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        const QByteArray expected = kHeader + "\r\n\r\n#Haptek code generated by Tweenwright.\r\nhello\r\n" +
                                    FirstFrame("0.000", {{104, "-0.063"}});
        QCOMPARE(QGuiApplication::clipboard()->text().toUtf8(), expected);
        QCOMPARE(test::Edit(*form, "StartTime")->text(), QStringLiteral("0"));
        QCOMPARE(test::SubHeaderOf(*form)->toPlainText(), QString());
        // Again with the same settings: the same block, less the sub header.
        test::Button(*form, "Gen2Clip")->click();
        QCOMPARE(QGuiApplication::clipboard()->text().toUtf8(),
                 kHeader + "\r\n\r\n" + FirstFrame("0.000", {{104, "-0.063"}}));
    }

    void aTextThatIsNotANumberChangesNothing_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::newRow("register") << "f0final_7" << "1,5";
        QTest::newRow("duration") << "DKeyframe" << "1 s";
        QTest::newRow("rate") << "FramesPSec" << "ten";
        QTest::newRow("start") << "StartTime" << "&H10";
        QTest::newRow("acceleration") << "Acceleration" << "-";
        QTest::newRow("overflow") << "f0initial_3" << "1e999";
        QTest::newRow("float overflow") << "f0initial_4" << "1e39";
        QTest::newRow("no frames") << "DKeyframe" << "0";
    }
    void aTextThatIsNotANumberChangesNothing() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        const QString path = PathOf("keep.hap");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("\"earlier work\"\r\n");
        }
        test::Edit(*form, "ActiveFile")->setText(path);
        test::SubHeaderOf(*form)->setPlainText(QStringLiteral("my sub header"));
        form->findChild<QLineEdit*>(field)->setText(text);
        const QStringList before = FieldTexts();
        test::Button(*form, "Gen2Append")->click();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(text), qPrintable(messages[0]));
        QCOMPARE(ReadAll(path), QByteArray("\"earlier work\"\r\n"));
        QCOMPARE(FieldTexts(), before);
        test::Button(*form, "Gen2Clip")->click();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(FieldTexts(), before);
    }

    void aPastedTextTheFileCannotHoldChangesNothing_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named");
        QTest::newRow("line break") << "figure" << "a\nb" << "figure name";
        QTest::newRow("empty name") << "setreg_9" << "" << "row 10";
        QTest::newRow("not in code page") << "clipboardtemp" << "Zo\u00eb\n\u540d" << "\u540d";
    }
    void aPastedTextTheFileCannotHoldChangesNothing() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, named);
        test::Edit(*form, "ActiveFile")->setText(PathOf("never.hap"));
        QWidget* target = form->findChild<QWidget*>(field);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
        QGuiApplication::clipboard()->setText(text);
        QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
        if (text.isEmpty()) QTest::keyClick(target, Qt::Key_Delete);
        const QStringList fields = FieldTexts();
        test::Button(*form, "Gen2Append")->click();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(named), qPrintable(messages[0]));
        QVERIFY(!QFile::exists(PathOf("never.hap")));  // any write would have made it
        QCOMPARE(FieldTexts(), fields);
    }

    void aFileThatCannotBeWrittenKeepsItsBytesAndTheFields_data() {
        QTest::addColumn<QString>("path");
        QTest::newRow("no such folder") << "missing/folder/a.hap";
        QTest::newRow("parent is a file") << "plain.txt/a.hap";
        QTest::newRow("a folder") << ".";
        QTest::newRow("disk full") << "/dev/full";
    }
    void aFileThatCannotBeWrittenKeepsItsBytesAndTheFields() {
        QFETCH(QString, path);
        {
            QFile f(PathOf("plain.txt"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x");
        }
        const QString full = path.startsWith('/') ? path : (path == "." ? dir->path() : PathOf(qPrintable(path)));
        test::Edit(*form, "ActiveFile")->setText(full);
        test::SubHeaderOf(*form)->setPlainText(QStringLiteral("keep me"));
        const QStringList before = FieldTexts();
        test::Button(*form, "Gen2Append")->click();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(full), qPrintable(messages[0]));
        QCOMPARE(FieldTexts(), before);
        QCOMPARE(ReadAll(PathOf("plain.txt")), QByteArray("x"));
        QVERIFY(!QFile::exists(PathOf("missing")));
    }

    void progressWindowShowsCompleteThenClosesItself() {
        test::Edit(*form, "ActiveFile")->setText(PathOf("p.hap"));
        test::Button(*form, "Gen2Append")->click();
        QPointer<ProgressForm> progress = form->Progress();
        QVERIFY(progress);
        QCOMPARE(progress->windowTitle(), QStringLiteral("Progress..."));
        QVERIFY(test::Control<QLabel>(*progress, "CompleteLab")->isVisibleTo(progress));
        QVERIFY(test::Control<QProgressBar>(*progress, "SaveProgBar")->isHidden());
        QVERIFY(test::Control<QLabel>(*progress, "Label2")->isHidden());
        QCOMPARE(test::Control<QProgressBar>(*progress, "CalcProgBar")->value(), 99);
        QVERIFY(test::Control<QTimer>(*progress, "Timer1")->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(progress.isNull(), 3000);
        QVERIFY(!form->Progress());
    }

    void aNewProgressWindowIsOnTheScreenDuringTheRun() {
        test::Edit(*form, "ActiveFile")->setText(PathOf("seen.hap"));
        MidRunGrab grab;
        qApp->installEventFilter(&grab);
        test::Button(*form, "Gen2Append")->click();
        qApp->removeEventFilter(&grab);
        QVERIFY(!grab.screen.isNull() && grab.shown > 0);
        // The bar's filled share on the screen, left of its empty end.
        const int y = grab.bar.center().y();
        const QLine row(grab.bar.left() + 2, y, grab.bar.right() - 2, y);
        const double share = test::PixelsUnlike(grab.screen, row, grab.screen.pixelColor(grab.bar.right() - 3, y)) /
                             double(grab.bar.width() - 3);
        QVERIFY2(qAbs(share - grab.shown / 100.0) < 0.04, qPrintable(QString::number(share)));
    }

    void aSecondRunWithinTheSecondReusesTheWindow() {
        test::Edit(*form, "ActiveFile")->setText(PathOf("twice.hap"));
        test::Button(*form, "Gen2Append")->click();
        QPointer<ProgressForm> first = form->Progress();
        QVERIFY(first);
        QTest::qWait(400);
        QVERIFY(first);
        test::Button(*form, "Gen2Clip")->click();
        QCOMPARE(form->Progress(), first.data());
        QVERIFY(test::Control<QLabel>(*first, "CompleteLab")->isVisibleTo(first));
        QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 3000);
        QCOMPARE(test::Edit(*form, "StartTime")->text(), QStringLiteral("1"));
    }

    void aTickWhileRunningOnlyStopsTheTimer() {
        ProgressForm progress;
        progress.PrepareForGeneration(true);
        test::Control<QTimer>(progress, "Timer1")->start();
        progress.Timer1_Timer();
        QVERIFY(!test::Control<QTimer>(progress, "Timer1")->isActive());
        QVERIFY(progress.isVisible());
        // Hidden by its caller after completion, the next tick still unloads it.
        QPointer<ProgressForm> hidden = new ProgressForm;
        hidden->PrepareForGeneration(true);
        hidden->ShowComplete();
        hidden->hide();
        QTRY_VERIFY_WITH_TIMEOUT(hidden.isNull(), 3000);
    }
};

TW_WINDOW_TEST_MAIN(GenerationRunsTest)
#include "GenerationRuns_test.moc"
