// "Load  last animation from file" through the real window: what a run wrote
// comes back into the fields, the sub header the user typed stays, and a file
// that cannot be read changes nothing.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sys/stat.h>

#include "WindowTestSupport.h"
#include "windows/MainForm.h"
#include "windows/ProgressForm.h"
#include "windows/RegisterPanel.h"

using namespace tw;

class LoadLastAnimationTest : public QObject {
    Q_OBJECT

    QStringList messages;
    std::unique_ptr<MainForm> form;
    QTemporaryDir dir;

private slots:
    void init() {
        form = test::ShownMainForm(&messages);
        QVERIFY(form);
    }
    void cleanup() { form.reset(); }

    void generatedBlockComesBackAndTheSubHeaderStays() {
        const QString file = dir.filePath(QStringLiteral("walk.hap"));
        test::Edit(*form, "ActiveFile")->setText(file);
        test::Edit(*form, "StartTime")->setText(QStringLiteral("2.5"));
        test::Edit(*form, "FramesPSec")->setText(QStringLiteral("20"));
        test::Cell(*form, "f0initial", 2)->setText(QStringLiteral("0.250"));
        test::Cell(*form, "f0final", 2)->setText(QStringLiteral("-1.5"));
        test::Cell(*form, "f0final", 104)->setText(QStringLiteral("12"));
        test::Button(*form, "Gen2Append")->click();
        test::Button(*form, "f0InitialReset")->click();
        test::Button(*form, "f0FinalReset")->click();
        test::Edit(*form, "FramesPSec")->setText(QStringLiteral("7"));
        test::SubHeaderOf(*form)->setPlainText(QStringLiteral("my notes t= 9]"));
        test::Button(*form, "LoadXHap")->click();
        // The load runs beside the window; its result arrives through the event loop.
        QTRY_COMPARE_WITH_TIMEOUT(test::Cell(*form, "f0initial", 2)->text(), QStringLiteral("0.250"), 10000);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join(QLatin1Char('\n'))));
        QCOMPARE(test::Cell(*form, "f0final", 2)->text(), QStringLiteral("-1.5"));
        QCOMPARE(test::Cell(*form, "f0initial", 104)->text(), QStringLiteral("0.000"));
        QCOMPARE(test::Cell(*form, "f0final", 104)->text(), QStringLiteral("12"));
        QCOMPARE(test::Cell(*form, "f0final", 3)->text(), QStringLiteral("0.000"));
        QCOMPARE(test::Edit(*form, "StartTime")->text(), QStringLiteral("2.5"));
        QCOMPARE(test::Edit(*form, "DKeyframe")->text(), QStringLiteral("1"));
        QCOMPARE(test::Edit(*form, "FramesPSec")->text(), QStringLiteral("20"));
        QCOMPARE(test::Edit(*form, "Finishtime")->text(), QStringLiteral("3.5"));
        QCOMPARE(test::SubHeaderOf(*form)->toPlainText(), QStringLiteral("my notes t= 9]"));
        ProgressForm* progress = form->Progress();
        QVERIFY(progress && progress->isVisible());
        QVERIFY(!test::Control<QProgressBar>(*progress, "SaveProgBar")->isVisible() && !test::Control<QLabel>(*progress, "Label2")->isVisible());
        QVERIFY(test::Control<QLabel>(*progress, "CompleteLab")->isVisible());
        QCOMPARE(test::Control<QProgressBar>(*progress, "CalcProgBar")->value(), 99);
        QTRY_VERIFY_WITH_TIMEOUT(!form->Progress(), 3000);
    }

    void unknownNameInTheFirstFrameIsReportedOnce() {
        const QString file = dir.filePath(QStringLiteral("named.hap"));
        test::Edit(*form, "ActiveFile")->setText(file);
        test::Cell(*form, "setreg", 5)->setText(QStringLiteral("Zo\u00eb"));
        test::Cell(*form, "f0final", 5)->setText(QStringLiteral("1"));
        test::Button(*form, "Gen2Append")->click();
        test::Cell(*form, "setreg", 5)->setText(QStringLiteral("Renamed"));
        test::Button(*form, "LoadXHap")->click();
        QTRY_COMPARE_WITH_TIMEOUT(messages, QStringList{QStringLiteral(
                               "Unable to find setreg Zo\u00eb on current form.  Will ignore this value")}, 10000);
    }

    void unreadableFilesChangeNothing() {
        const QString pipe = dir.filePath(QStringLiteral("pipe.hap"));
        QVERIFY(::mkfifo(pipe.toLocal8Bit().constData(), 0600) == 0);
        const DocumentTexts before = form->ReadDocument();
        const QString missing = dir.filePath(QStringLiteral("missing.hap"));
        for (const QString& path : {QString(), missing, dir.path(), pipe}) {
            test::Edit(*form, "ActiveFile")->setText(path);
            DocumentTexts expected = before;
            expected.activeFile = path.toStdString();
            messages.clear();
            test::Button(*form, "LoadXHap")->click();  // a pipe must not block here
            QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 10000);
            if (path.isEmpty())
                QCOMPARE(messages.first(), QStringLiteral("Please select a file using the menu on the left."));
            else
                QVERIFY2(messages.first().contains(path), qPrintable(messages.first()));
            QVERIFY(form->ReadDocument() == expected);
        }
    }
};

TW_WINDOW_TEST_MAIN(LoadLastAnimationTest)
#include "LoadLastAnimation_test.moc"
