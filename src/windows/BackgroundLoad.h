// One load of a file's last animation, run on a thread of its own so that the
// window stays responsive while a long block is read and its lines are
// scanned. Reports arrive through the owner's event loop. Destroying the load
// stops it: the reading looks at a stop flag between chunks and lines, and
// the destructor waits for that at most half a second (a disk that does not
// answer is left behind rather than waited for); nothing is reported after.
#pragma once

#include <QObject>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "document/Outcome.h"
#include "reading/LastAnimationLoader.h"

class QThreadPool;

namespace tw {

class BackgroundLoad : public QObject {
    Q_OBJECT
public:
    // The work a load runs on its thread, given the reports' callbacks and the
    // stop flag: the file load, or a stand-in that a test can hold.
    using Work =
        std::function<Outcome<LoadedAnimation>(const ProgressFn& progress, const LoadControl& control)>;

    BackgroundLoad(std::string activeFile, std::array<std::string, RegisterCount> names, QObject* parent = nullptr);
    explicit BackgroundLoad(Work work, QObject* parent = nullptr);
    ~BackgroundLoad() override;

    // The load's result (a message on failure), from Finished on.
    const Outcome<LoadedAnimation>& Result() const { return *result_; }

signals:
    // The share 0..99 of the file the backward search has read.
    void Reading(int share);
    // The block is in memory; the bar of its lines follows.
    void FileRead();
    // The bar of the block's lines, 0..99.
    void Progress(int value);
    // The result is there; the last report.
    void Finished();

private:
    struct Channel;
    std::shared_ptr<Channel> channel_;
    std::shared_ptr<const Outcome<LoadedAnimation>> result_;
    QThreadPool* pool_;
};

}  // namespace tw
