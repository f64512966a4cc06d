#include "windows/FormPoses.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "document/MessageText.h"
#include "document/NumberText.h"
#include "render/SceneRenderer.h"
#include "windows/Dialogs.h"
#include "windows/DocumentModel.h"

namespace tw {

namespace {
// Marks an item whose pose has been read (and drawn, when it can be).
constexpr int ReadRole = Qt::UserRole + 1;
constexpr int PosesPerTick = 12;

// The pose's figure as the view's start-up camera shows it.
QPixmap Thumbnail(const SavedPose& pose) {
    PoseValues values{};
    for (int r = 0; r < RegisterCount; ++r)
        if (pose.values[r]) values[r] = static_cast<float>(NumericValue(*pose.values[r]));
    Player player;
    player.ShowPose(values, pose.name);
    const SceneRenderer scene(player);
    return QPixmap::fromImage(scene.Frame(0, QSize(FormPoses::ThumbnailSide, FormPoses::ThumbnailSide)));
}
}  // namespace

FormPoses::FormPoses(PoseLibrary library, DocumentModel& document, Dialogs& dialogs, QWidget* main)
    : QWidget(main, Qt::Window), library_(std::move(library)), document_(document), dialogs_(dialogs) {
    setObjectName(QStringLiteral("FormPoses"));
    setWindowTitle(tr("Poses"));
    setAttribute(Qt::WA_QuitOnClose, false);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("PoseList"));
    list_->setIconSize(QSize(ThumbnailSide, ThumbnailSide));
    list_->setUniformItemSizes(true);
    auto* buttons = new QHBoxLayout;
    const struct {
        const char *name, *caption;
        void (FormPoses::*handler)();
    } rows[] = {{"ApplyInitial", "Apply to Initial", &FormPoses::ApplyInitial_Click},
                {"ApplyFinal", "Apply to Final", &FormPoses::ApplyFinal_Click},
                {"RenamePose", "Rename…", &FormPoses::Rename_Click},
                {"DeletePose", "Delete", &FormPoses::Delete_Click}};
    for (const auto& row : rows) {
        auto* button = new QPushButton(tr(row.caption), this);
        button->setObjectName(QString::fromLatin1(row.name));
        connect(button, &QPushButton::clicked, this, row.handler);
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    resize(360, 520);

    drawing_ = new QTimer(this);
    drawing_->setInterval(0);
    connect(drawing_, &QTimer::timeout, this, &FormPoses::DrawVisible);
    connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, drawing_, qOverload<>(&QTimer::start));
    connect(list_, &QListWidget::itemDoubleClicked, this, &FormPoses::PoseList_DblClick);
}

void FormPoses::Refresh() {
    list_->clear();
    for (const std::string& name : library_.Names()) {
        auto* item = new QListWidgetItem(QString::fromStdString(name), list_);
        item->setSizeHint(QSize(ThumbnailSide + 160, ThumbnailSide + 6));
    }
    drawing_->start();
}

void FormPoses::DrawVisible() {
    int drawn = 0;
    const QRect sight = list_->viewport()->rect();
    for (int row = 0; row < list_->count() && drawn < PosesPerTick; ++row) {
        QListWidgetItem* item = list_->item(row);
        const QRect at = list_->visualItemRect(item);
        if (at.bottom() < sight.top()) continue;
        if (at.top() > sight.bottom()) break;
        if (item->data(ReadRole).toBool()) continue;
        item->setData(ReadRole, true);
        ++drawn;
        const SavedPose pose = library_.Read(item->text().toStdString());
        if (pose.usable) {
            item->setIcon(QIcon(Thumbnail(pose)));
        } else {
            // Listed so the user sees it, but greyed and never applied.
            item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
            item->setToolTip(QString::fromStdString(pose.reason));
            item->setText(item->text() + QStringLiteral("\n") + QString::fromStdString(ShownName(pose.reason)));
        }
    }
    if (drawn < PosesPerTick) drawing_->stop();
}

QString FormPoses::Selected() const {
    const QList<QListWidgetItem*> items = list_->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text().section(QLatin1Char('\n'), 0, 0);
}

void FormPoses::Apply(KeyframeSide side) {
    const QString name = Selected();
    if (name.isEmpty()) return;
    DocumentTexts document = document_.ReadDocument();
    const Outcome<void> applied = library_.Apply(name.toStdString(), document, side);
    if (!applied) return dialogs_.Inform(this, QString::fromStdString(applied.error()));
    document_.WriteDocument(document);
    document_.PreviewKeyframe(side);
}

void FormPoses::ApplyInitial_Click() { Apply(KeyframeSide::Initial); }
void FormPoses::ApplyFinal_Click() { Apply(KeyframeSide::Final); }

void FormPoses::PoseList_DblClick(QListWidgetItem* item) {
    if (!item || !(item->flags() & Qt::ItemIsEnabled)) return;
    list_->setCurrentItem(item);
    Apply(KeyframeSide::Initial);
}

void FormPoses::Rename_Click() {
    const QString name = Selected();
    if (name.isEmpty()) return;
    const std::optional<QString> answer = dialogs_.AskText(this, tr("New name of the pose \"%1\":").arg(name), name);
    if (!answer || *answer == name) return;
    const Outcome<void> renamed = library_.Rename(name.toStdString(), answer->toStdString());
    if (!renamed) return dialogs_.Inform(this, QString::fromStdString(renamed.error()));
    Refresh();
}

void FormPoses::Delete_Click() {
    const QString name = Selected();
    if (name.isEmpty()) return;
    if (!dialogs_.Ask(this, tr("Delete the pose \"%1\"?").arg(name))) return;
    const Outcome<void> removed = library_.Remove(name.toStdString());
    if (!removed) return dialogs_.Inform(this, QString::fromStdString(removed.error()));
    Refresh();
}

}  // namespace tw
