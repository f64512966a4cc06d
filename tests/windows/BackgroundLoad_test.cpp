// The background load with a stand-in for the file load that the test holds
// and releases: what a worker reports reaches its load while that is there,
// and nothing reaches anyone once the load is gone or has been stopped.
#include <QApplication>
#include <QDeadlineTimer>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <cstddef>
#include <memory>
#include <new>
#include <string>

#include "WindowTestSupport.h"
#include "windows/BackgroundLoad.h"

using namespace tw;

namespace {

// Work that waits until it is released, then reports a share read and a
// line, and gives a result whose start time names it. Ended() is true once
// the worker has let go of the work, that is, once it has nothing more to do.
class HeldWork {
public:
    enum class Stop { No, OnRelease };

    BackgroundLoad::Work Work(std::string start, Stop stop = Stop::No) {
        return [this, start, stop, alive = alive_](const ProgressFn& progress, const LoadControl& control) {
            started_.release();
            release_.acquire();
            // Only the destructor sets the flag, a step before it clears the
            // receiver; setting it here makes that moment last, with the load
            // still there to report to. The flag itself is not const.
            if (stop == Stop::OnRelease) const_cast<StopFlag*>(control.stop)->store(true);
            control.reading(50);
            progress(10);
            LoadedAnimation loaded;
            loaded.startTime = start;
            return Outcome<LoadedAnimation>::Success(std::move(loaded));
        };
    }

    // A test that fails early still lets its worker go before the gates go.
    ~HeldWork() {
        Release();
        for (QDeadlineTimer deadline(10000); !Ended() && !deadline.hasExpired();) QThread::msleep(1);
    }

    bool Started() { return started_.tryAcquire(1, 10000); }
    void Release() {
        release_.release();
        alive_.reset();
    }
    bool Ended() const { return watch_.expired(); }

private:
    QSemaphore started_, release_;
    std::shared_ptr<int> alive_ = std::make_shared<int>();
    std::weak_ptr<int> watch_ = alive_;
};

// A load built in storage of the test's own, so that the next one can take
// the place of one that is gone; destroyed with the storage at the latest.
class LoadInPlace {
public:
    ~LoadInPlace() { Destroy(); }
    BackgroundLoad* Make(BackgroundLoad::Work work) {
        Destroy();
        load_ = new (place_) BackgroundLoad(std::move(work));
        return load_;
    }
    void Destroy() {
        if (load_) load_->~BackgroundLoad();
        load_ = nullptr;
    }

private:
    alignas(BackgroundLoad) std::byte place_[sizeof(BackgroundLoad)];
    BackgroundLoad* load_ = nullptr;
};

struct Spies {
    explicit Spies(BackgroundLoad* load)
        : reading(load, &BackgroundLoad::Reading),
          progress(load, &BackgroundLoad::Progress),
          finished(load, &BackgroundLoad::Finished) {}
    QSignalSpy reading, progress, finished;
};

}  // namespace

class BackgroundLoadTest : public QObject {
    Q_OBJECT

private slots:
    // The worker looks at the stop flag when its work returns: a stopped one
    // gives no result, though the reports made before reach the load.
    void aStoppedWorkerGivesNoResult() {
        for (const HeldWork::Stop stop : {HeldWork::Stop::No, HeldWork::Stop::OnRelease}) {
            const bool stopped = stop == HeldWork::Stop::OnRelease;
            HeldWork work;
            BackgroundLoad load(work.Work("1", stop));
            Spies spies(&load);
            QVERIFY(work.Started());
            work.Release();
            QTRY_VERIFY(work.Ended());
            QCoreApplication::processEvents();
            QCOMPARE(spies.reading.count(), 1);
            QCOMPARE(spies.progress.count(), 1);
            QCOMPARE(spies.finished.count(), stopped ? 0 : 1);
            if (!stopped) QCOMPARE(load.Result().value().startTime, std::string("1"));
        }
    }

    // A worker held past the destructor's wait and released after the load
    // is gone: its reports and result reach nothing, not even the next load
    // when that takes the old one's place in memory, as the heap may give it.
    void aWorkerReleasedAfterItsLoadIsGoneReportsNothing() {
        HeldWork first, second;
        LoadInPlace place;
        place.Make(first.Work("1"));
        QVERIFY(first.Started());
        place.Destroy();  // waits half a second, then leaves the worker

        BackgroundLoad* load = place.Make(second.Work("2"));
        Spies spies(load);
        first.Release();
        QTRY_VERIFY(first.Ended());
        QCoreApplication::processEvents();
        QCOMPARE(spies.reading.count(), 0);
        QCOMPARE(spies.progress.count(), 0);
        QCOMPARE(spies.finished.count(), 0);

        // The new load's own reports and result still come.
        QVERIFY(second.Started());
        second.Release();
        QTRY_COMPARE(spies.finished.count(), 1);
        QCOMPARE(load->Result().value().startTime, std::string("2"));
        QCOMPARE(spies.reading.count(), 1);
        QCOMPARE(spies.progress.count(), 1);
    }
};

TW_WINDOW_TEST_MAIN(BackgroundLoadTest)
#include "BackgroundLoad_test.moc"
