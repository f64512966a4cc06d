#include "windows/ExportDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <filesystem>

#include "windows/PlayerController.h"

namespace tw {

namespace {

struct Kind {
    const char* text;
    const char* ending;  // what the file name ends in
};
constexpr Kind Kinds[] = {{"MP4 video (H.264)", ".mp4"},
                          {"WebM video (VP9)", ".webm"},
                          {"Animated GIF", ".gif"},
                          {"PNG frames (a folder)", "/"}};

QString Tr(const char* text) { return QCoreApplication::translate("ExportDialog", text); }

// `name` with its ending replaced by `ending`.
QString WithEnding(QString name, const QString& ending) {
    for (const Kind& k : Kinds)
        if (name.endsWith(QLatin1String(k.ending), Qt::CaseInsensitive)) {
            name.chop(int(std::char_traits<char>::length(k.ending)));
            break;
        }
    return name + ending;
}

}  // namespace

ExportDialog::ExportDialog(const PlayerController& player, QWidget* parent)
    : QDialog(parent), player_(player) {
    setObjectName(QStringLiteral("ExportDialog"));
    setWindowTitle(Tr("Export"));
    setAttribute(Qt::WA_DeleteOnClose);
    const Player& playback = player.Playback();

    kind_ = new QComboBox(this);
    kind_->setObjectName(QStringLiteral("Kind"));
    for (const Kind& k : Kinds) kind_->addItem(Tr(k.text));
    QString stem = QString::fromStdString(std::filesystem::path(playback.Name()).stem().string());
    if (stem.isEmpty()) stem = QStringLiteral("render");
    out_ = new QLineEdit(QDir::home().filePath(stem + QStringLiteral(".mp4")), this);
    out_->setObjectName(QStringLiteral("Output"));
    out_->setMinimumWidth(320);
    connect(kind_, &QComboBox::currentIndexChanged, this, &ExportDialog::KindChanged);

    width_ = new QSpinBox(this);
    width_->setObjectName(QStringLiteral("Width"));
    width_->setRange(MinFrameSize.width, MaxFrameSize.width);
    width_->setValue(1280);
    height_ = new QSpinBox(this);
    height_->setObjectName(QStringLiteral("Height"));
    height_->setRange(MinFrameSize.height, MaxFrameSize.height);
    height_->setValue(720);
    auto* size = new QHBoxLayout;
    size->addWidget(width_);
    size->addWidget(new QLabel(QStringLiteral("×"), this));
    size->addWidget(height_);
    size->addStretch();
    fps_ = new QSpinBox(this);
    fps_->setObjectName(QStringLiteral("Fps"));
    fps_->setRange(MinFps, MaxFps);
    fps_->setValue(30);

    range_ = new QComboBox(this);
    range_->setObjectName(QStringLiteral("Range"));
    range_->addItems({Tr("The whole script shown"), Tr("From, to (seconds)")});
    from_ = new QDoubleSpinBox(this);
    to_ = new QDoubleSpinBox(this);
    from_->setObjectName(QStringLiteral("From"));
    to_->setObjectName(QStringLiteral("To"));
    for (QDoubleSpinBox* box : {from_, to_}) {
        box->setDecimals(3);
        box->setRange(-1e6, 1e6);
        box->setEnabled(false);
    }
    from_->setValue(playback.FirstTime());
    to_->setValue(playback.LastTime());
    connect(range_, &QComboBox::currentIndexChanged, this, [this](int index) {
        from_->setEnabled(index == 1);
        to_->setEnabled(index == 1);
    });
    auto* times = new QHBoxLayout;
    times->addWidget(from_);
    times->addWidget(to_);
    ghosts_ = new QCheckBox(Tr("Ghosts of First and Last Pose"), this);
    ghosts_->setObjectName(QStringLiteral("Ghosts"));
    ghosts_->setChecked(player.Scene().Ghosts());

    auto* form = new QFormLayout;
    form->addRow(Tr("Kind:"), kind_);
    form->addRow(Tr("File:"), out_);
    form->addRow(Tr("Size:"), size);
    form->addRow(Tr("Frames per second:"), fps_);
    form->addRow(Tr("Range:"), range_);
    form->addRow(QString(), times);
    form->addRow(Tr("Camera:"), new QLabel(Tr("as the view shows it now"), this));
    form->addRow(QString(), ghosts_);

    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("CalcProgBar"));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("Status"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (!playback.HasScript()) status_->setText(Tr("The view shows no script to export."));
    export_ = new QPushButton(Tr("Export"), this);
    export_->setObjectName(QStringLiteral("ExportButton"));
    export_->setDefault(true);
    export_->setEnabled(playback.HasScript());
    cancel_ = new QPushButton(Tr("Close"), this);
    cancel_->setObjectName(QStringLiteral("CancelButton"));
    connect(export_, &QPushButton::clicked, this, &ExportDialog::Export);
    connect(cancel_, &QPushButton::clicked, this, &ExportDialog::CancelOrClose);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(export_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(bar_);
    layout->addWidget(status_);
    layout->addLayout(buttons);
    connect(&watcher_, &QFutureWatcher<Outcome<RenderResult>>::finished, this, &ExportDialog::Finished);
}

ExportDialog::~ExportDialog() {
    if (stop_) *stop_ = true;
    watcher_.waitForFinished();
}

void ExportDialog::KindChanged() {
    out_->setText(WithEnding(out_->text(), QLatin1String(Kinds[kind_->currentIndex()].ending)));
}

RenderRequest ExportDialog::Request() const {
    const Player& playback = player_.Playback();
    RenderRequest r;
    r.script = playback.Script();
    r.name = playback.Name();
    r.out = out_->text().toStdString();
    r.size = {width_->value(), height_->value()};
    r.fps = fps_->value();
    r.from = range_->currentIndex() == 1 ? from_->value() : playback.FirstTime();
    r.to = range_->currentIndex() == 1 ? to_->value() : playback.LastTime();
    r.camera = player_.Scene().Camera();
    r.ghosts = ghosts_->isChecked();
    r.background = player_.Scene().Background();
    r.look = player_.Scene().Look();
    return r;
}

void ExportDialog::Export() {
    if (Rendering()) return;
    const RenderRequest request = Request();
    stop_ = std::make_shared<std::atomic<bool>>(false);
    bar_->setValue(0);
    status_->setText(Tr("Rendering %1 …").arg(out_->text()));
    export_->setEnabled(false);
    cancel_->setText(Tr("Cancel"));
    QPointer<QProgressBar> bar = bar_;
    const RenderProgress progress = [bar](long long done, long long total) {
        const int percent = int(done * 100 / total);
        QMetaObject::invokeMethod(
            bar,
            [bar, percent] {
                if (bar) bar->setValue(percent);
            },
            Qt::QueuedConnection);
    };
    watcher_.setFuture(QtConcurrent::run(
        [request, progress, stop = stop_] { return RenderScript(request, progress, stop.get()); }));
}

void ExportDialog::Finished() {
    const Outcome<RenderResult> result = watcher_.result();
    export_->setEnabled(true);
    cancel_->setText(Tr("Close"));
    if (!result) {
        bar_->setValue(0);
        status_->setText(stop_ && *stop_ ? Tr("Cancelled; nothing was written.")
                                         : QString::fromStdString(result.error()));
        return;
    }
    QString text = Tr("Written: %1").arg(QString::fromStdString(DoneText(result.value())));
    for (const std::string& note : result.value().notes)
        text += QStringLiteral("\n") + QString::fromStdString(note);
    status_->setText(text);
}

void ExportDialog::CancelOrClose() {
    if (Rendering()) {
        *stop_ = true;
        return;
    }
    close();
}

void ExportDialog::closeEvent(QCloseEvent* event) {
    // Closing while it renders cancels the render and waits for it to stop.
    if (Rendering()) {
        *stop_ = true;
        watcher_.waitForFinished();
    }
    QDialog::closeEvent(event);
}

void AddExportEntry(QMenu& menu, const PlayerController& player, QWidget* parent) {
    QAction* entry = menu.addAction(Tr("Export…"), parent, [&player, parent] {
        auto* dialog = new ExportDialog(player, parent);
        dialog->show();
    });
    entry->setObjectName(QStringLiteral("ExportAction"));
}

}  // namespace tw
