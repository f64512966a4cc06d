#include "windows/BackgroundLoad.h"

#include <QThreadPool>
#include <mutex>

namespace tw {

namespace {
constexpr int StopWaitMs = 500;
}  // namespace

// What the worker shares with the window's thread: the stop flag, and the
// object its reports go to, cleared (under the lock) when that goes away.
struct BackgroundLoad::Channel {
    StopFlag stop{false};
    std::mutex mutex;
    BackgroundLoad* receiver = nullptr;

    // Hands `report` to the receiver's thread, if there still is a receiver.
    template <class Report>
    void Post(Report report) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (receiver) QMetaObject::invokeMethod(receiver, [receiver = receiver, report] { report(receiver); },
                                                Qt::QueuedConnection);
    }
};

BackgroundLoad::BackgroundLoad(std::string activeFile, std::array<std::string, RegisterCount> names,
                               QObject* parent)
    : BackgroundLoad(
          [file = std::move(activeFile), names = std::move(names)](const ProgressFn& progress,
                                                                   const LoadControl& control) {
              return LoadLastAnimationFromFile(file, names, progress, control);
          },
          parent) {}

BackgroundLoad::BackgroundLoad(Work work, QObject* parent)
    : QObject(parent), channel_(std::make_shared<Channel>()), pool_(new QThreadPool) {
    channel_->receiver = this;
    pool_->setMaxThreadCount(1);
    pool_->start([channel = channel_, work = std::move(work)] {
        LoadControl control;
        control.stop = &channel->stop;
        control.reading = [&channel](int share) { channel->Post([share](BackgroundLoad* l) { emit l->Reading(share); }); };
        control.fileRead = [&channel] { channel->Post([](BackgroundLoad* l) { emit l->FileRead(); }); };
        const auto progress = [&channel](int value) {
            channel->Post([value](BackgroundLoad* l) { emit l->Progress(value); });
        };
        auto result = std::make_shared<const Outcome<LoadedAnimation>>(work(progress, control));
        if (channel->stop) return;
        channel->Post([result](BackgroundLoad* l) {
            l->result_ = result;
            emit l->Finished();
        });
    });
}

BackgroundLoad::~BackgroundLoad() {
    channel_->stop = true;
    {
        const std::lock_guard<std::mutex> lock(channel_->mutex);
        channel_->receiver = nullptr;
    }
    if (pool_->waitForDone(StopWaitMs)) delete pool_;
    // Otherwise the pool is left to the end of the process: its destructor
    // would wait for the worker without a bound.
}

}  // namespace tw
