#include "windows/BlockStrip.h"

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QMenu>
#include <QPainter>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "document/PathText.h"

namespace tw {

namespace {

constexpr int ProgressMs = 100;  // how often the strip shows an index's progress
constexpr int StopWaitMs = 500;  // how long closing waits for the worker
constexpr std::size_t KeptLayouts = 2;

QString Tr(const char* text) { return QCoreApplication::translate("tw::CharacterView", text); }

struct IndexResult {
    quint64 serial = 0;
    std::shared_ptr<const BlockIndex> index;
    std::optional<FileStamp> stamp;
};

IndexResult IndexOnWorker(quint64 serial, const std::string& path, std::atomic<int>& progress,
                          const std::atomic<bool>& stop) {
    IndexResult result;
    result.serial = serial;
    result.stamp = StampOf(path);
    IndexControl control;
    control.progress = [&progress](int share) { progress.store(share); };
    control.stop = &stop;
    Outcome<BlockIndex> index = IndexFile(path, control);
    // A file changed while it was read is taken as changed: its edits are refused.
    if (index && StampOf(path) == result.stamp)
        result.index = std::make_shared<const BlockIndex>(std::move(index).value());
    else if (index)
        result.stamp.reset();
    return result;
}

}  // namespace

BlockStrip::BlockStrip(QObject* parent) : QObject(parent) {
    pool_ = new QThreadPool;
    pool_->setMaxThreadCount(1);
    progressTimer_.setInterval(ProgressMs);
    connect(&progressTimer_, &QTimer::timeout, this, &BlockStrip::Changed);
}

BlockStrip::~BlockStrip() {
    // The index looks at its stop between pieces; a worker that does not end
    // (a disk that does not answer) is left to the end of the process.
    if (stop_) stop_->store(true);
    pool_->clear();
    if (pool_->waitForDone(StopWaitMs)) delete pool_;
}

void BlockStrip::Clear() {
    ++serial_;
    if (stop_) stop_->store(true);
    path_.clear();
    index_.reset();
    spans_.clear();
    stamp_.reset();
    layouts_.clear();
    indexing_ = false;
    progressTimer_.stop();
    emit Changed();
}

void BlockStrip::Follow(QString path) {
    Clear();
    if (path.isEmpty() || !wholeFile_ || !wholeFile_(path)) return;
    path_ = std::move(path);
    indexing_ = true;
    const quint64 serial = serial_;
    progress_ = std::make_shared<std::atomic<int>>(0);
    stop_ = std::make_shared<std::atomic<bool>>(false);
    auto* watcher = new QFutureWatcher<IndexResult>(this);
    connect(watcher, &QFutureWatcher<IndexResult>::finished, this, [this, watcher] {
        IndexResult result = watcher->result();
        watcher->deleteLater();
        if (result.serial != serial_) return;  // overtaken by a newer file
        indexing_ = false;
        progressTimer_.stop();
        index_ = std::move(result.index);
        stamp_ = result.stamp;
        if (index_) spans_ = BlockSpans(*index_);
        layouts_.clear();
        emit Changed();
        emit Indexed(path_);
    });
    watcher->setFuture(
        QtConcurrent::run(pool_, [serial, file = PathBytes(path_.toStdString()), progress = progress_,
                                  stop = stop_] { return IndexOnWorker(serial, file, *progress, *stop); }));
    progressTimer_.start();
}

QRect BlockStrip::StripRect(const QRect& bar, bool large) {
    if (!large) return bar;
    return QRect(bar.left(), bar.bottom() + 1 - LargeStripHeight, bar.width(), LargeStripHeight);
}

const StripLayout& BlockStrip::LayoutFor(double first, double last, int width) const {
    for (const CachedLayout& kept : layouts_)
        if (kept.serial == serial_ && kept.first == first && kept.last == last && kept.width == width)
            return kept.layout;
    if (layouts_.size() >= KeptLayouts) layouts_.erase(layouts_.begin());
    layouts_.push_back({serial_, first, last, width, LayOutStrip(spans_, TimeScale{first, last, width})});
    return layouts_.back().layout;
}

void BlockStrip::Paint(QPainter& p, const QRect& strip, double first, double last, bool large) const {
    if (indexing_) {
        // The share of the file read so far, as a bar along the strip.
        const int share = progress_ ? progress_->load() : 0;
        p.fillRect(QRect(strip.left(), strip.top(), strip.width() * share / 100, strip.height()),
                   QColor(60, 80, 120, 200));
        if (large) {
            p.setPen(QColor(200, 210, 230));
            p.drawText(strip.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter,
                       Tr("indexing blocks %1%").arg(share));
        }
        return;
    }
    if (!index_ || index_->blocks.empty()) return;
    const StripLayout& layout = LayoutFor(first, last, strip.width());
    const QColor shades[2] = {QColor(58, 74, 104, 230), QColor(92, 112, 150, 230)};
    const QColor cutOff(130, 70, 60, 230), gap(8, 10, 14);
    const QFontMetrics metrics = p.fontMetrics();
    for (const StripRun& run : layout.runs) {
        const QRect cells(strip.left() + run.left, strip.top(), run.right - run.left, strip.height());
        const bool complete = index_->blocks[run.block].complete;
        p.fillRect(cells, complete ? shades[run.block % 2] : cutOff);
        if (run.gap) p.fillRect(QRect(cells.left(), cells.top(), 1, cells.height()), gap);
        if (!large) continue;
        // The number, in the part above the timeline's bar, where it fits.
        const QString number = QString::number(run.block + 1);
        const QRect label = cells.adjusted(run.gap ? 1 : 0, 1, 0, -(strip.height() / 2));
        if (metrics.horizontalAdvance(number) + NumberMargin <= label.width()) {
            p.setPen(QColor(230, 235, 245));
            p.drawText(label, Qt::AlignCenter, number);
        }
    }
}

std::optional<std::size_t> BlockStrip::BlockAt(const QRect& strip, double first, double last, int x) const {
    if (indexing_ || !index_ || index_->blocks.empty()) return std::nullopt;
    return BlockAtColumn(LayoutFor(first, last, strip.width()), x - strip.left());
}

QString BlockStrip::ToolTip(std::size_t block) const {
    if (!index_) return {};
    return QString::fromStdString(BlockToolTip(*index_, block));
}

void BlockStrip::AddActions(QMenu& menu, std::size_t block) {
    if (!editable_ || !index_ || block >= index_->blocks.size()) return;
    const long number = static_cast<long>(block) + 1;
    const bool complete = index_->blocks[block].complete;
    const struct {
        const char* text;
        Action action;
        const char* name;
    } rows[] = {{"Load this block", Action::Load, "LoadBlock"},
                {"Replace with the form", Action::Replace, "ReplaceBlock"},
                {"Insert the form before", Action::Insert, "InsertBlock"},
                {"Remove", Action::Remove, "RemoveBlock"}};
    for (const auto& row : rows) {
        const Action action = row.action;
        QAction* item = menu.addAction(Tr(row.text), this, [this, action, number, path = path_] {
            emit EditRequested(action, number, path);
        });
        item->setObjectName(QLatin1String(row.name));
        // A cut-off block can be read back, not edited.
        item->setEnabled(complete || action == Action::Load);
    }
    menu.addSeparator();
}

}  // namespace tw
