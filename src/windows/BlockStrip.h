// The blocks of the file the player plays, for its views' timelines: the
// file is indexed on a worker of its own (a large file shows its progress in
// the strip), each view draws the blocks in alternating shades with a thin
// gap at each boundary (the large window's strip is taller and numbers them),
// names the block under the pointer, and offers the block's edits in its
// context menu. The edits themselves are done by whoever listens to
// EditRequested (the main window's BlockEditor).
#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "session/BlockStrip.h"

class QMenu;
class QPainter;
class QThreadPool;

namespace tw {

class BlockStrip : public QObject {
    Q_OBJECT
public:
    enum class Action { Load, Replace, Insert, Remove };

    explicit BlockStrip(QObject* parent = nullptr);
    ~BlockStrip() override;

    // The file the player now plays: it is indexed on a worker when the rule
    // set by SetWholeFileRule says it is a whole file (not a preview). A view
    // without a rule (no form to edit its blocks with) shows no strip.
    void Follow(QString path);
    // The player plays no file: no strip.
    void Clear();
    // Indexes the same file again.
    void Refresh() { Follow(path_); }
    void SetWholeFileRule(std::function<bool(const QString&)> rule) { wholeFile_ = std::move(rule); }
    // Whether the edits are offered in the menu.
    void SetEditable(bool editable) { editable_ = editable; }

    const QString& Path() const { return path_; }
    bool Indexing() const { return indexing_; }
    // The index, once made; null before and for no whole file.
    const BlockIndex* Index() const { return index_.get(); }
    // The file as it stood when its index was made.
    const std::optional<FileStamp>& Stamp() const { return stamp_; }
    // A strip is drawn: the file is being indexed or has blocks.
    bool Shown() const { return indexing_ || (index_ && !index_->blocks.empty()); }

    // The strip's rectangle above a view's timeline bar `bar`.
    static QRect StripRect(const QRect& bar, bool large);
    // Draws the strip for a timeline showing first..last.
    void Paint(QPainter& painter, const QRect& strip, double first, double last, bool large) const;
    // The block under x of the strip; none where no block is.
    std::optional<std::size_t> BlockAt(const QRect& strip, double first, double last, int x) const;
    QString ToolTip(std::size_t block) const;
    // Adds the block's actions to a view's context menu (nothing while the
    // edits are not offered).
    void AddActions(QMenu& menu, std::size_t block);

signals:
    void Changed();
    // The index of the followed file is made (or failed: no strip).
    void Indexed(const QString& path);
    // `number` counts from 1 in file order.
    void EditRequested(tw::BlockStrip::Action action, long number, const QString& path);

private:
    const StripLayout& LayoutFor(double first, double last, int width) const;

    QString path_;
    std::function<bool(const QString&)> wholeFile_;
    bool editable_ = false;
    bool indexing_ = false;
    quint64 serial_ = 0;
    std::shared_ptr<const BlockIndex> index_;
    std::vector<BlockSpan> spans_;
    std::optional<FileStamp> stamp_;
    // The running index's share done and its stop.
    std::shared_ptr<std::atomic<int>> progress_;
    std::shared_ptr<std::atomic<bool>> stop_;
    QTimer progressTimer_;
    // The layouts of the last widths asked for (the view and its large window).
    struct CachedLayout {
        quint64 serial;
        double first, last;
        int width;
        StripLayout layout;
    };
    mutable std::vector<CachedLayout> layouts_;
    QThreadPool* pool_ = nullptr;
};

}  // namespace tw
