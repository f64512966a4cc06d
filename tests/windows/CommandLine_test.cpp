// The program's command line beside the real window: `generate` run as a
// process writes the bytes F5 writes and prints the start time F5 leaves, its
// clipboard text is "Generate to Clipboard"'s, `load-last` prints the document
// "Load last animation from file" leaves; the subcommands run with no display;
// and a file named on the command line opens as the chooser would open it.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "WindowTestSupport.h"
#include "cli/StartupDocument.h"
#include "document/DocumentJson.h"
#include "document/ChooserRules.h"
#include "support/RandomDocument.h"
#include "windows/MainForm.h"

using namespace tw;

namespace {

struct Ran {
    int status = -1;
    QByteArray out, err;
};

// The program as a process, with no display and no platform named.
Ran Program(const QStringList& args) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(TW_PROGRAM), args);
    if (!program.waitForFinished(60000) || program.exitStatus() != QProcess::NormalExit) return {};
    return {program.exitCode(), program.readAllStandardOutput(), program.readAllStandardError()};
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString Q(const QByteArray& bytes) { return QString::fromUtf8(bytes); }

}  // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

    QStringList messages;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<QTemporaryDir> dir;

    QString PathOf(const QString& name) { return dir->filePath(name); }

    QString Json(const DocumentTexts& doc, const QString& name) {
        WriteAll(PathOf(name), QByteArray::fromStdString(DocumentToJson(doc)));
        return PathOf(name);
    }

    // Writes `doc` into the window's fields; false when a field would not
    // keep its text (the comparison would then not be of the same texts).
    bool Show(const DocumentTexts& doc) {
        form->WriteDocument(doc);
        return form->ReadDocument() == doc;
    }

    // F5 with the focus on a button, so that no field's leaving rule runs.
    void PressF5() {
        test::Button(*form, "Gen2Clip")->setFocus();
        QTest::keyClick(test::Button(*form, "Gen2Clip"), Qt::Key_F5);
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

    void theWindowStartsFromTheStartupDocument() {
        QVERIFY(form->ReadDocument() == StartupDocument());
    }

    void generateWritesWhatF5WritesForManyDocuments() {
        test::RandomDocuments documents(1805);
        for (int n = 0; n < 24; ++n) {
            DocumentTexts doc = documents.Next();
            const QString label = QStringLiteral("document %1:\n").arg(n) + Q(DocumentToJson(doc));
            const QString windowFile = PathOf(QStringLiteral("window%1.hap").arg(n));
            const QString programFile = PathOf(QStringLiteral("program%1.hap").arg(n));
            if (n % 2) {
                WriteAll(windowFile, "\"an earlier block\"\r\n");
                WriteAll(programFile, "\"an earlier block\"\r\n");
            }

            // "Generate to Clipboard" first: it leaves the start time alone.
            doc.activeFile = windowFile.toStdString();
            QVERIFY2(Show(doc), qPrintable(label));
            QTest::mouseClick(test::Button(*form, "Gen2Clip"), Qt::LeftButton);
            const QString clipboard = QGuiApplication::clipboard()->text();
            QVERIFY2(Show(doc), qPrintable(label));
            PressF5();
            QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n') + label));

            doc.activeFile = programFile.toStdString();
            const QString json = Json(doc, QStringLiteral("doc%1.json").arg(n));
            const Ran generated = Program({QStringLiteral("generate"), json});
            QVERIFY2(generated.status == 0, generated.err.constData());
            QVERIFY2(ReadAll(programFile) == ReadAll(windowFile), qPrintable(label));
            QCOMPARE(generated.out, test::Edit(*form, "StartTime")->text().toUtf8() + "\n");
            const Ran clip = Program({QStringLiteral("generate"), json, QStringLiteral("--clipboard-text")});
            QCOMPARE(clip.status, 0);
            QVERIFY2(QString::fromUtf8(clip.out) == clipboard, qPrintable(label));

            // Loading the block back: the window's document against the
            // printed one, from the document the window holds now.
            DocumentTexts now = form->ReadDocument();
            now.activeFile = windowFile.toStdString();
            const Ran loaded = Program({QStringLiteral("load-last"), windowFile, QStringLiteral("--document"),
                                        Json(now, QStringLiteral("now.json"))});
            QCOMPARE(loaded.status, 0);
            test::Button(*form, "LoadXHap")->click();
            QTRY_VERIFY_WITH_TIMEOUT(!form->LoadRunning(), 10000);
            QCOMPARE(Q(loaded.err), messages.isEmpty() ? QString() : messages.join('\n') + '\n');
            messages.clear();
            QCOMPARE(Q(loaded.out), Q(DocumentToJson(form->ReadDocument())));
        }
    }

    void loadLastShowsTheWindowsMessagesForUnknownNames() {
        DocumentTexts doc = StartupDocument();
        doc.names[4] = "Custom4";
        doc.names[90] = "Custom90";
        doc.activeFile = PathOf(QStringLiteral("named.hap")).toStdString();
        QCOMPARE(Program({QStringLiteral("generate"), Json(doc, QStringLiteral("named.json"))}).status, 0);
        const Ran loaded = Program({QStringLiteral("load-last"), Q(doc.activeFile)});
        QCOMPARE(loaded.status, 0);
        test::Edit(*form, "ActiveFile")->setText(Q(doc.activeFile));
        test::Button(*form, "LoadXHap")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!form->LoadRunning(), 10000);
        QCOMPARE(messages.size(), 2);
        QCOMPARE(Q(loaded.err), messages.join('\n') + '\n');
        QCOMPARE(Q(loaded.out), Q(DocumentToJson(form->ReadDocument())));
    }

    void failuresShowTheWindowsMessageAndWriteNothing() {
        const QString file = PathOf(QStringLiteral("kept.hap"));
        WriteAll(file, "\"kept\"\r\n");
        DocumentTexts doc = StartupDocument();
        doc.activeFile = file.toStdString();
        doc.initial[3] = "0.5x";
        doc.names[9] = "caf\xC3\xA9 \xE2\x98\x95";  // a cup of coffee is outside the code page
        QVERIFY(Show(doc));
        PressF5();
        QCOMPARE(messages.size(), 1);
        const Ran ran = Program({QStringLiteral("generate"), Json(doc, QStringLiteral("bad.json"))});
        QCOMPARE(ran.status, 1);
        QCOMPARE(Q(ran.err), messages.first() + '\n');
        QCOMPARE(ran.out, QByteArray());
        QCOMPARE(ReadAll(file), QByteArray("\"kept\"\r\n"));

        // No active file: F5's own message.
        messages.clear();
        doc = StartupDocument();
        QVERIFY(Show(doc));
        PressF5();
        const Ran none = Program({QStringLiteral("generate"), Json(doc, QStringLiteral("none.json"))});
        QCOMPARE(none.status, 1);
        QCOMPARE(Q(none.err), messages.value(0) + '\n');
    }

    void theProgramNeedsNoDisplayForItsCommandLine() {
        const Ran help = Program({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains("generate") && help.out.contains("load-last"));
        QCOMPARE(help.err, QByteArray());
        const Ran wrong = Program({QStringLiteral("--bogus")});
        QCOMPARE(wrong.status, 2);
        QVERIFY(wrong.err.contains("--bogus"));
        QCOMPARE(wrong.out, QByteArray());
        // Without a display, the window itself cannot start: proof that the
        // subcommands above made no GUI application.
        const Ran window = Program({PathOf(QStringLiteral("walk.hap"))});
        QVERIFY(window.status != 0);
    }

    void aFileNamedOnTheCommandLineOpensAsTheChooserWouldOpenIt() {
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir->path()));
        form->OpenFile(QStringLiteral("walk.hap"));
        QDir::setCurrent(previous);
        const ChooserResult chosen = ConfirmChoice(ChooserMode::HapFile, QDir(dir->path()).canonicalPath().toStdString(), "walk.hap", "");
        QCOMPARE(test::Edit(*form, "ActiveFile")->text(), Q(chosen.activeFile));
        QCOMPARE(test::Edit(*form, "FileHeader")->text(), Q(chosen.fileHeader));
        QCOMPARE(test::Edit(*form, "FileHeader")->text(),
                 QStringLiteral("#Haptek  Version= 2.00 Name= walk.hap   HapType= script FileType= text"));
        // A path with folders in it names only the file in the header.
        form->OpenFile(PathOf(QStringLiteral("sub/../jump")));
        QCOMPARE(test::Edit(*form, "ActiveFile")->text(), PathOf(QStringLiteral("jump")));
        QCOMPARE(test::Edit(*form, "FileHeader")->text(),
                 QStringLiteral("#Haptek  Version= 2.00 Name= jump   HapType= script FileType= text"));
    }
};

TW_WINDOW_TEST_MAIN(CommandLineTest)
#include "CommandLine_test.moc"
