// Taking back adds from the main window, driven with keys and clicks: F6 and
// "Undo Last Add (F6)" cut the file back to the byte and bring the block into
// the form, F7 and "Redo Add (F7)" put it back, and ends of files that no add
// wrote, or files changed since, are refused without a change.
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "WindowTestSupport.h"
#include "document/FixedPaths.h"
#include "session/EditHistory.h"
#include "windows/MainForm.h"
#include "windows/Twips.h"

using namespace tw;

namespace {

// Records every message and question; answers questions as told.
class AnsweringDialogs : public Dialogs {
public:
    AnsweringDialogs(QStringList* log, bool* answer) : log_(log), answer_(answer) {}
    void Inform(QWidget*, const QString& text) override { log_->append(text); }
    bool Ask(QWidget*, const QString& text) override {
        log_->append(QStringLiteral("? ") + text);
        return *answer_;
    }

private:
    QStringList* log_;
    bool* answer_;
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
}

void Append(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::Append));
    f.write(bytes);
}

// The kept files of this process in the preview folder.
QStringList KeptFiles() {
    const Outcome<std::string> folder = PreviewFolder();
    if (!folder) return {};
    return QDir(QString::fromStdString(folder.value()))
        .entryList({QStringLiteral("undone-%1-*").arg(QCoreApplication::applicationPid())}, QDir::Files);
}

}  // namespace

class UndoAddTest : public QObject {
    Q_OBJECT

    QStringList messages;
    bool answer = true;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<QTemporaryDir> dir;
    QString file;

    QLineEdit* Field(const char* name) { return test::Edit(*form, name); }
    QLineEdit* Cell(const char* array, int index) { return test::Cell(*form, array, index); }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(Field("Acceleration"), static_cast<Qt::Key>(key), modifiers);
    }

    // Three adds into a new file, the second with a sub header and its own
    // header; the file's bytes after each.
    QList<QByteArray> ThreeAdds() {
        Field("ActiveFile")->setText(file);
        Field("DKeyframe")->setText(QStringLiteral("0.5"));
        Field("FramesPSec")->setText(QStringLiteral("4"));
        Cell("f0final", 4)->setText(QStringLiteral("12.5"));
        Cell("f0initial", 9)->setText(QStringLiteral("-3.25"));
        Field("Acceleration")->setFocus();
        QList<QByteArray> after;
        Key(Qt::Key_F5);
        after << ReadAll(file);
        test::Button(*form, "Swap")->click();
        test::SubHeaderOf(*form)->setPlainText(QStringLiteral("\\loadBG [file= [b\u00e9.jpg]]\nline two"));
        Field("FileHeader")->setText(QStringLiteral("#Haptek  Version= 2.00 Name= other.hap   HapType= script FileType= text"));
        Key(Qt::Key_F5);
        after << ReadAll(file);
        test::Button(*form, "Swap")->click();
        Field("FramesPSec")->setText(QStringLiteral("8"));
        Key(Qt::Key_F5);
        after << ReadAll(file);
        return after;
    }

private slots:
    void init() {
        messages.clear();
        answer = true;
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        file = dir->filePath(QStringLiteral("take.hap"));
        form = std::make_unique<MainForm>(std::make_unique<AnsweringDialogs>(&messages, &answer));
        QVERIFY(test::ShowActive(form.get()));
    }
    void cleanup() {
        form.reset();
        dir.reset();
    }

    void buttonsStandBelowSelectBgInTheCommandsFrame() {
        auto* commands = test::Control<QGroupBox>(*form, "Commands");
        QPushButton* undo = test::Button(*form, "UndoAdd");
        QPushButton* redo = test::Button(*form, "RedoAdd");
        QPushButton* above = test::Button(*form, "Selectbackground");
        QCOMPARE(undo->parentWidget(), commands);
        QCOMPARE(redo->parentWidget(), commands);
        QCOMPARE(undo->geometry(), TwipsRect(120, 2880, 852, 612));
        QCOMPARE(redo->geometry(), TwipsRect(120, 3600, 852, 612));
        QCOMPARE(undo->text(), QStringLiteral("Undo Last Add (F6)"));
        QCOMPARE(redo->text(), QStringLiteral("Redo Add (F7)"));
        QCOMPARE(undo->font(), above->font());
        QCOMPARE(undo->metaObject(), above->metaObject());
        // Both inside the frame, clear of the buttons above and below.
        QVERIFY(commands->rect().contains(redo->geometry()));
        QVERIFY(undo->geometry().top() > above->geometry().bottom());
        QVERIFY(redo->geometry().bottom() < test::Button(*form, "ButtonHelp")->geometry().top());
    }

    void undoRedoAndUndoAllGiveBackEachFile() {
        const QList<QByteArray> after = ThreeAdds();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        // What "Load  last animation from file" makes of the last add.
        test::Button(*form, "LoadXHap")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!form->LoadRunning(), 10000);
        const DocumentTexts loaded = form->ReadDocument();
        Field("StartTime")->setText(QStringLiteral("77"));
        Cell("f0final", 4)->setText(QStringLiteral("3"));
        test::SubHeaderOf(*form)->setPlainText(QStringLiteral("typed since"));

        Key(Qt::Key_F6);
        QCOMPARE(messages, QStringList{QStringLiteral("? Remove the last animation (from 1.000 to 1.500 s) from %1?")
                                           .arg(file)});
        QCOMPARE(ReadAll(file), after[1]);
        // The block as the load brings it, with its own header and sub header.
        QVERIFY(form->ReadDocument() == loaded);
        QCOMPARE(Field("StartTime")->text(), QStringLiteral("1"));
        QCOMPARE(Field("DKeyframe")->text(), QStringLiteral("0.5"));
        QCOMPARE(Field("FramesPSec")->text(), QStringLiteral("8"));
        QCOMPARE(Cell("f0initial", 4)->text(), QStringLiteral("0.000"));
        QCOMPARE(Cell("f0final", 4)->text(), QStringLiteral("12.5"));
        QCOMPARE(Cell("f0initial", 9)->text(), QStringLiteral("-3.250"));
        QCOMPARE(Cell("f0final", 9)->text(), QStringLiteral("0"));
        QCOMPARE(test::SubHeaderOf(*form)->toPlainText(), QString());
        QCOMPARE(Field("FileHeader")->text(),
                 QStringLiteral("#Haptek  Version= 2.00 Name= other.hap   HapType= script FileType= text"));
        QCOMPARE(KeptFiles().size(), 1);

        messages.clear();
        test::Button(*form, "RedoAdd")->click();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QCOMPARE(ReadAll(file), after[2]);
        QCOMPARE(Field("StartTime")->text(), QStringLiteral("1.5"));
        QCOMPARE(Field("Finishtime")->text(), QStringLiteral("2"));
        QCOMPARE(KeptFiles().size(), 0);

        Key(Qt::Key_F6);
        Key(Qt::Key_F6, Qt::ShiftModifier);
        QCOMPARE(ReadAll(file), after[0]);
        QCOMPARE(test::SubHeaderOf(*form)->toPlainText(), QStringLiteral("\\loadBG [file= [b\u00e9.jpg]]\nline two"));
        test::Button(*form, "UndoAdd")->click();
        QCOMPARE(messages.size(), 3);
        QVERIFY(QFile::exists(file));
        QCOMPARE(ReadAll(file), QByteArray());
        QCOMPARE(KeptFiles().size(), 3);

        // Nothing more to take back; all three go back in order.
        Key(Qt::Key_F6);
        QCOMPARE(messages.size(), 4);
        QVERIFY2(messages.last().contains(QStringLiteral("is empty")), qPrintable(messages.last()));
        for (int n = 0; n < 3; ++n) {
            Key(Qt::Key_F7, Qt::ShiftModifier);
            QCOMPARE(ReadAll(file), after[n]);
        }
        QCOMPARE(messages.size(), 4);
        Key(Qt::Key_F7);
        QCOMPARE(messages.size(), 5);
        QCOMPARE(ReadAll(file), after[2]);
    }

    void blockEditsAndAddsAreTakenBackAndMadeAgainInTheirOrder() {
        const QList<QByteArray> after = ThreeAdds();
        // A block edit through the window's history, as the timeline's menu makes it.
        const auto removed = form->Edits().Remove(file.toStdString(), 2);
        QVERIFY2(removed.ok(), removed.ok() ? "" : removed.error().c_str());
        const QByteArray edited = ReadAll(file);
        Key(Qt::Key_F5);
        const QByteArray added = ReadAll(file);
        QVERIFY(added.startsWith(edited) && added.size() > edited.size());

        // The add first, asked and taken back as before; then the removal.
        Key(Qt::Key_F6);
        QCOMPARE(ReadAll(file), edited);
        messages.clear();
        answer = false;
        Key(Qt::Key_F6);
        QCOMPARE(messages, QStringList{QStringLiteral("? Take back the removal of block 2 (0.500\u20131.000 s) in %1?")
                                           .arg(file)});
        QCOMPARE(ReadAll(file), edited);
        answer = true;
        Key(Qt::Key_F6);
        QCOMPARE(ReadAll(file), after[2]);
        QCOMPARE(messages.size(), 2);
        // Redone in order; the start time is left by the removal and set by the add.
        Field("StartTime")->setText(QStringLiteral("40"));
        Key(Qt::Key_F7);
        QCOMPARE(ReadAll(file), edited);
        QCOMPARE(Field("StartTime")->text(), QStringLiteral("40"));
        Key(Qt::Key_F7);
        QCOMPARE(ReadAll(file), added);
        QCOMPARE(messages.size(), 2);

        // A removal whose file changed since is refused and changes nothing.
        Key(Qt::Key_F6);
        QVERIFY(form->Edits().Remove(file.toStdString(), 1).ok());
        Append(file, "\"hand\"\r\n");
        const QByteArray changed = ReadAll(file);
        messages.clear();
        Key(Qt::Key_F6);
        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages.last().contains(QStringLiteral("has changed since the removal of block 1")),
                 qPrintable(messages.last()));
        QCOMPARE(ReadAll(file), changed);
    }

    void f5AfterUndoAddsTheSameBlockAgainAndForgetsTheRedo() {
        const QList<QByteArray> after = ThreeAdds();
        Key(Qt::Key_F6);
        Key(Qt::Key_F6);
        QCOMPARE(ReadAll(file), after[0]);
        // The sub header and header came back: F5 writes the second add again.
        Key(Qt::Key_F5);
        QCOMPARE(ReadAll(file), after[1]);
        QCOMPARE(KeptFiles().size(), 0);
        messages.clear();
        Key(Qt::Key_F7);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(ReadAll(file), after[1]);
    }

    void noChangesNothing() {
        const QList<QByteArray> after = ThreeAdds();
        const DocumentTexts before = form->ReadDocument();
        answer = false;
        Key(Qt::Key_F6);
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].startsWith(QStringLiteral("? Remove the last animation")));
        QCOMPARE(ReadAll(file), after[2]);
        QVERIFY(form->ReadDocument() == before);
        QCOMPARE(KeptFiles().size(), 0);
    }

    void endsNoAddWroteAndChangedFilesAreRefused() {
        const QList<QByteArray> after = ThreeAdds();
        const QByteArray hand = "\\clock [t= 5.000]   \\setreg[name= HeadTwist   f0= 1.000]\r\n";
        Append(file, hand);
        const DocumentTexts before = form->ReadDocument();
        Key(Qt::Key_F6);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(QStringLiteral("was not written by")), qPrintable(messages[0]));
        QCOMPARE(ReadAll(file), after[2] + hand);
        QVERIFY(form->ReadDocument() == before);

        // A byte added after an undo: the redo refuses and writes nothing.
        QFile::resize(file, after[2].size());
        Key(Qt::Key_F6);
        QCOMPARE(ReadAll(file), after[1]);
        Append(file, "x");
        Key(Qt::Key_F7);
        QVERIFY2(messages.last().contains(QStringLiteral("has changed since the last undo")),
                 qPrintable(messages.last()));
        QCOMPARE(ReadAll(file), after[1] + "x");
        QFile::resize(file, after[1].size());
        Key(Qt::Key_F7);
        QCOMPARE(ReadAll(file), after[2]);
    }

    void f6AndF7ActWhereverTheFocusIsAndTheKeysStillReachTheField() {
        const QList<QByteArray> after = ThreeAdds();
        QLineEdit* figure = Field("figure");
        figure->setFocus(Qt::MouseFocusReason);
        int reached = 0;
        struct Counter : QObject {
            int* count;
            explicit Counter(int* c) : count(c) {}
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::KeyPress) {
                    const int key = static_cast<QKeyEvent*>(event)->key();
                    if (key == Qt::Key_F6 || key == Qt::Key_F7) ++*count;
                }
                return false;
            }
        } counter(&reached);
        figure->installEventFilter(&counter);
        QTest::keyClick(figure, Qt::Key_F6, Qt::ShiftModifier);
        QCOMPARE(ReadAll(file), after[1]);
        QTest::keyClick(figure, Qt::Key_F7, Qt::ShiftModifier);
        QCOMPARE(ReadAll(file), after[2]);
        QCOMPARE(reached, 2);
        figure->removeEventFilter(&counter);
    }

    void withoutAFileBothSaySo() {
        const DocumentTexts before = form->ReadDocument();
        test::Button(*form, "UndoAdd")->click();
        test::Button(*form, "RedoAdd")->click();
        QCOMPARE(messages, QStringList(2, QStringLiteral("Please select file from menu on left hand side.")));
        QVERIFY(form->ReadDocument() == before);
    }
};

TW_WINDOW_TEST_MAIN(UndoAddTest)
#include "UndoAdd_test.moc"
