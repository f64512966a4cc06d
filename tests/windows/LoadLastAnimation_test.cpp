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
        form->ActiveFile->setText(file);
        form->StartTime->setText(QStringLiteral("2.5"));
        form->FramesPSec->setText(QStringLiteral("20"));
        form->Panel->f0initial[2]->setText(QStringLiteral("0.250"));
        form->Panel->f0final[2]->setText(QStringLiteral("-1.5"));
        form->Panel->f0final[104]->setText(QStringLiteral("12"));
        form->Gen2Append->click();
        form->Panel->f0InitialReset->click();
        form->Panel->f0FinalReset->click();
        form->FramesPSec->setText(QStringLiteral("7"));
        form->clipboardtemp->setPlainText(QStringLiteral("my notes t= 9]"));
        form->LoadXHap->click();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join(QLatin1Char('\n'))));
        QCOMPARE(form->Panel->f0initial[2]->text(), QStringLiteral("0.250"));
        QCOMPARE(form->Panel->f0final[2]->text(), QStringLiteral("-1.5"));
        QCOMPARE(form->Panel->f0initial[104]->text(), QStringLiteral("0.000"));
        QCOMPARE(form->Panel->f0final[104]->text(), QStringLiteral("12"));
        QCOMPARE(form->Panel->f0final[3]->text(), QStringLiteral("0.000"));
        QCOMPARE(form->StartTime->text(), QStringLiteral("2.5"));
        QCOMPARE(form->DKeyframe->text(), QStringLiteral("1"));
        QCOMPARE(form->FramesPSec->text(), QStringLiteral("20"));
        QCOMPARE(form->Finishtime->text(), QStringLiteral("3.5"));
        QCOMPARE(form->clipboardtemp->toPlainText(), QStringLiteral("my notes t= 9]"));
        ProgressForm* progress = form->Progress();
        QVERIFY(progress && progress->isVisible());
        QVERIFY(!progress->SaveProgBar->isVisible() && !progress->Label2->isVisible());
        QVERIFY(progress->CompleteLab->isVisible());
        QCOMPARE(progress->CalcProgBar->value(), 99);
        QTRY_VERIFY_WITH_TIMEOUT(!form->Progress(), 3000);
    }

    void unknownNameInTheFirstFrameIsReportedOnce() {
        const QString file = dir.filePath(QStringLiteral("named.hap"));
        form->ActiveFile->setText(file);
        form->Panel->setreg[5]->setText(QStringLiteral("Zo\u00eb"));
        form->Panel->f0final[5]->setText(QStringLiteral("1"));
        form->Gen2Append->click();
        form->Panel->setreg[5]->setText(QStringLiteral("Renamed"));
        form->LoadXHap->click();
        QCOMPARE(messages, QStringList{QStringLiteral(
                               "Unable to find setreg Zo\u00eb on current form.  Will ignore this value")});
    }

    void unreadableFilesChangeNothing() {
        const QString pipe = dir.filePath(QStringLiteral("pipe.hap"));
        QVERIFY(::mkfifo(pipe.toLocal8Bit().constData(), 0600) == 0);
        const DocumentTexts before = form->ReadDocument();
        const QString missing = dir.filePath(QStringLiteral("missing.hap"));
        for (const QString& path : {QString(), missing, dir.path(), pipe}) {
            form->ActiveFile->setText(path);
            DocumentTexts expected = before;
            expected.activeFile = path.toStdString();
            messages.clear();
            form->LoadXHap->click();  // a pipe must not block here
            QCOMPARE(messages.size(), 1);
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
