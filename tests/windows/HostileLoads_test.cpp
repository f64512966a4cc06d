// The character view and the main window against hostile files and
// processes: a path swapped for a pipe while loads run, Qt's own thread pool
// held up, closing during long loads, floods of unknown names.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <atomic>
#include <cstdio>
#include <thread>

#include "WindowTestSupport.h"
#include "windows/CharacterView.h"
#include "windows/MainForm.h"

using namespace tw;

namespace {

const QByteArray Line = "\\clock [t= 0.000]   \\setreg[name= HeadTwist   f0= 1.000]\r\n";

bool WriteFile(const QString& path, const QByteArray& bytes, int times = 1) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    for (int i = 0; i < times; ++i)
        if (f.write(bytes) != bytes.size()) return false;
    return true;
}

QString LoadCommand(const QString& path) { return QStringLiteral("\\load [file= [%1]]").arg(path); }

}  // namespace

class HostileLoadsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    // Another program swaps the path between a script and a pipe while the
    // view loads it over and over: every load ends, none waits on the pipe.
    void pathSwappedForAPipeNeverHoldsALoad() {
        const QByteArray path = QFile::encodeName(dir_.filePath(QStringLiteral("swap.hap")));
        const QByteArray spare = path + ".new";
        QVERIFY(WriteFile(QString::fromLocal8Bit(path), Line));
        std::atomic<bool> done{false};
        std::thread swapper([&] {
            for (int i = 0; !done; ++i) {
                if (i % 2) {
                    ::mkfifo(spare.constData(), 0600);
                } else {
                    FILE* f = std::fopen(spare.constData(), "wb");
                    if (f) std::fclose(f);
                }
                ::rename(spare.constData(), path.constData());
            }
        });
        CharacterView view(nullptr);
        QSignalSpy finished(&view, &CharacterView::LoadFinished);
        for (int i = 0; i < 60; ++i) {
            view.SendCommand(LoadCommand(QString::fromLocal8Bit(path)));
            QTest::qWait(2);
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 60, 20000);
        done = true;
        swapper.join();

        // A pipe with a writer waiting on it, and a pseudo-file that says it is
        // empty but reads without end: refused, and nothing is read.
        ::unlink(path.constData());
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        std::thread writer([&] {
            FILE* f = std::fopen(path.constData(), "wb");  // waits for a reader
            if (f) std::fclose(f);
        });
        view.SendCommand(LoadCommand(QString::fromLocal8Bit(path)));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 61, 10000);
        QCOMPARE(view.Note(), QStringLiteral("cannot read swap.hap: not a regular file"));
        view.SendCommand(LoadCommand(QStringLiteral("/proc/self/pagemap")));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 62, 10000);
        QCOMPARE(view.Note(), QStringLiteral("pagemap: empty file"));
        // Lets the writer through.
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK);
        writer.join();
        ::close(fd);
    }

    // Loads run beside Qt's global pool, which the painter queues its work on:
    // with every thread of that pool held, a load still finishes.
    void loadsDoNotQueueOnQtsGlobalPool() {
        const QString path = dir_.filePath(QStringLiteral("pool.hap"));
        QVERIFY(WriteFile(path, Line));
        QThreadPool* global = QThreadPool::globalInstance();
        QSemaphore release;
        const int held = global->maxThreadCount();
        for (int i = 0; i < held; ++i) global->start([&release] { release.acquire(); });
        struct Release {
            QSemaphore& s;
            int n;
            ~Release() {
                s.release(n);
                QThreadPool::globalInstance()->waitForDone();
            }
        } guard{release, held};
        CharacterView view(nullptr);
        QSignalSpy finished(&view, &CharacterView::LoadFinished);
        view.SendCommand(LoadCommand(path));
        QVERIFY(finished.wait(10000));
        QCOMPARE(view.PlayingFile(), QStringLiteral("pool.hap"));
    }

    // Run as a child by closingDuringLongLoadsEndsTheProcessSoon: starts
    // loads of a long script, one after another as clicks would, then closes.
    void childStartsLoadsAndCloses() {
        const QByteArray path = qgetenv("TW_HOSTILE_CHILD");
        if (path.isEmpty()) QSKIP("only run as a child process");
        auto view = std::make_unique<CharacterView>(nullptr);
        for (int i = 0; i < 8; ++i) view->SendCommand(LoadCommand(QString::fromLocal8Bit(path)));
        QTest::qWait(300);
        std::printf("closing\n");
        std::fflush(stdout);
        view.reset();
    }

    void closingDuringLongLoadsEndsTheProcessSoon() {
        const QString path = dir_.filePath(QStringLiteral("long.hap"));
        QVERIFY(WriteFile(path, Line.repeated(1 << 14), 100));  // about 100 MB
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TW_HOSTILE_CHILD"), path);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("childStartsLoadsAndCloses")});
        QVERIFY(child.waitForStarted());
        QByteArray out;
        QElapsedTimer sinceClosing;
        QTRY_VERIFY_WITH_TIMEOUT((out += child.readAllStandardOutput()).contains("closing"), 30000);
        sinceClosing.start();
        // The child may have ended while the wait above handled events; then
        // QProcess knows it already, and waitForFinished would answer false.
        if (child.state() != QProcess::NotRunning) child.waitForFinished(20000);
        const qint64 closingMs = sinceClosing.elapsed();
        QCOMPARE(child.state(), QProcess::NotRunning);
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        // Eight superseded loads of 100 MB each would take seconds to read and
        // decode; stopped, they end at their next chunk.
        QVERIFY2(closingMs < 1500, qPrintable(QString::number(closingMs)));
    }

    // Ten thousand unknown names in the first frame: one box.
    void floodOfUnknownNamesGivesOneBox() {
        QByteArray bytes = "\"#Haptek\r\n";
        for (int i = 0; i < 10000; ++i)
            bytes += "\\clock [t= 0.000]   \\setreg[name= Nobody" + QByteArray::number(i) + "   f0= 1.000]\r\n";
        bytes += "\\clock [t= 0.100]   \\setreg[name= HeadTwist   f0= 2.000]\r\n\"\r\n";
        const QString path = dir_.filePath(QStringLiteral("flood.hap"));
        QVERIFY(WriteFile(path, bytes));
        QStringList messages;
        auto form = test::ShownMainForm(&messages);
        QVERIFY(form);
        DocumentTexts document = form->ReadDocument();
        document.activeFile = path.toStdString();
        form->WriteDocument(document);
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("LoadXHap")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 10000);
        QVERIFY2(messages[0].startsWith(QStringLiteral("Unable to find setreg Nobody0, Nobody1")), qPrintable(messages[0]));
        QVERIFY2(messages[0].contains(QStringLiteral("and 9995 more")), qPrintable(messages[0]));
        QTest::qWait(200);
        QCOMPARE(messages.size(), 1);
    }

    // A display that is not ready when the program starts (an X server
    // resetting after its last client left refuses connections for a moment):
    // the program waits for it instead of aborting.
    void programWaitsForADisplayThatIsNotReadyYet() {
        const QString display = QStringLiteral(":%1").arg(140 + QCoreApplication::applicationPid() % 50);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.insert(QStringLiteral("DISPLAY"), display);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(TW_PROGRAM));
        QVERIFY(program.waitForStarted());
        QTest::qWait(700);
        QProcess server;
        server.start(QStringLiteral("Xvfb"), {display, QStringLiteral("-screen"), QStringLiteral("0"),
                                              QStringLiteral("1280x1024x24")});
        QVERIFY(server.waitForStarted());
        const auto visible = [&] {
            QProcess search;
            search.setProcessEnvironment(environment);
            search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                     QStringLiteral("--pid"), QString::number(program.processId())});
            return search.waitForFinished(5000) && search.exitCode() == 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(program.state() != QProcess::Running || visible(), 15000);
        QCOMPARE(program.state(), QProcess::Running);
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        server.terminate();
        server.waitForFinished(5000);
    }

    // The window's side of a load that runs on its own thread.
    QString Field(MainForm* form, const char* name) {
        return form->findChild<QLineEdit*>(QString::fromLatin1(name))->text();
    }
    void ClickLoad(MainForm* form, const QString& path) {
        DocumentTexts document = form->ReadDocument();
        document.activeFile = path.toStdString();
        form->WriteDocument(document);
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("LoadXHap")), Qt::LeftButton);
    }
    static QByteArray Block(double start, int frames) {
        QByteArray block = "\"#Haptek\r\n";
        for (int f = 0; f < frames; ++f)
            block += "\\clock [t= " + QByteArray::number(start + f * 0.5, 'f', 3) +
                     "]   \\setreg[name= HeadTwist   f0= " + QByteArray::number(f) + ".000]\r\n";
        return block + "\"\r\n";
    }

    // A second load replaces the first, whose result is never shown; typing
    // goes on meanwhile; "Exit" during a load stops it and closes at once.
    void secondLoadAndExitDuringALoad() {
        const QString large = dir_.filePath(QStringLiteral("large.hap"));
        const QString small = dir_.filePath(QStringLiteral("small.hap"));
        QVERIFY(WriteFile(large, Block(7, 3) + Line.repeated(1 << 14), 60));  // about 60 MB
        QVERIFY(WriteFile(small, Block(3, 3)));
        QStringList messages;
        auto form = test::ShownMainForm(&messages);
        QVERIFY(form);
        ClickLoad(form.get(), large);
        ClickLoad(form.get(), small);
        auto* figure = form->findChild<QLineEdit*>(QStringLiteral("figure"));
        figure->setFocus();
        QTest::keyClicks(figure, QStringLiteral("Bob"));
        QTRY_COMPARE_WITH_TIMEOUT(Field(form.get(), "StartTime"), QStringLiteral("3"), 10000);
        QCOMPARE(Field(form.get(), "DKeyframe"), QStringLiteral("1"));
        QCOMPARE(Field(form.get(), "figure"), QStringLiteral("Bob"));
        QTest::qWait(500);
        QCOMPARE(Field(form.get(), "StartTime"), QStringLiteral("3"));
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));

        ClickLoad(form.get(), large);
        QElapsedTimer closing;
        closing.start();
        QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("exit")), Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QVERIFY2(closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed())));
        QTest::qWait(300);
        QCOMPARE(Field(form.get(), "StartTime"), QStringLiteral("3"));
        QVERIFY(messages.isEmpty());
    }

    // Another process cuts the file short while the window loads it: the
    // window lives on, with the load or a message saying what happened.
    void windowLivesWhenTheFileIsCutWhileItLoads() {
        const QString path = dir_.filePath(QStringLiteral("cut.hap"));
        const QByteArray bytes = QFile::encodeName(path);
        QStringList messages;
        auto form = test::ShownMainForm(&messages);
        QVERIFY(form);
        for (int round = 0; round < 3; ++round) {
            QVERIFY(WriteFile(path, Line.repeated(1 << 14), 40));  // about 40 MB, no header word
            messages.clear();
            const pid_t cutter = ::fork();
            QVERIFY(cutter >= 0);
            if (cutter == 0) {
                ::usleep(static_cast<useconds_t>(round * 20000));
                ::truncate(bytes.constData(), 1000);
                ::_exit(0);
            }
            ClickLoad(form.get(), path);
            QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty() || Field(form.get(), "DKeyframe") != QStringLiteral("1"), 20000);
            ::waitpid(cutter, nullptr, 0);
            if (!messages.isEmpty()) {
                QVERIFY2(messages.last().contains(QStringLiteral("became shorter")) ||
                             messages.last().contains(QStringLiteral("duration")),
                         qPrintable(messages.last()));
            }
        }
        QVERIFY(form->isVisible());
    }
};

TW_WINDOW_TEST_MAIN(HostileLoadsTest)
#include "HostileLoads_test.moc"
