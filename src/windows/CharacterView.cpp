#include "windows/CharacterView.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFuture>
#include <QFutureWatcher>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <filesystem>
#include <new>

#include "document/FixedPaths.h"
#include "document/PathText.h"
#include "generation/HapScript.h"
#include "document/ViewCommands.h"
#include "reading/FileBytes.h"

namespace tw {

namespace {

constexpr int FrameMs = 33;                           // about 30 frames per second
constexpr std::uint64_t MaxScriptBytes = std::uint64_t{1} << 30;   // a script beyond this is not read
constexpr std::uint64_t MaxPictureBytes = std::uint64_t{1} << 28;  // nor a picture beyond this
constexpr int LoadThreads = 2;
// How long closing the view waits for its workers, which stop between chunks.
constexpr int StopWaitMs = 500;
constexpr int MaxBackgroundSide = 2048;               // a background is kept no larger
constexpr int ShownCommandChars = 48;

QString FileName(const QString& path) {
    const std::string utf8 = path.toStdString();
    return QString::fromStdString(std::string(FileNameOf(utf8)));
}

}  // namespace

// What a worker hands back to the view.
struct CharacterView::LoadResult {
    Slot slot = Slot::Script;
    quint64 serial = 0;
    QString path, name;
    bool ok = false;
    bool plainBackground = false;  // a missing start-up background: show none, say nothing
    QString note;
    std::shared_ptr<const HapTimeline> timeline;
    QImage picture;
    QColor skin;
};

CharacterView::CharacterView(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("ActiveHaptekX1"));
    setFrameShape(QFrame::StyledPanel);
    setAttribute(Qt::WA_OpaquePaintEvent);
    auto elapsed = std::make_shared<QElapsedTimer>();
    elapsed->start();
    clock_ = [elapsed] { return elapsed->elapsed(); };
    frameTimer_.setTimerType(Qt::PreciseTimer);
    frameTimer_.setInterval(FrameMs);
    connect(&frameTimer_, &QTimer::timeout, this, &CharacterView::Tick);
    pool_ = new QThreadPool;
    pool_->setMaxThreadCount(LoadThreads);
}

CharacterView::~CharacterView() {
    // Loads still running are stopped; their workers look at the flag between
    // chunks and lines, so they end within a few milliseconds. A worker that
    // still has not ended (a disk that does not answer) is left to the end of
    // the process rather than waited for.
    for (int s = 0; s < static_cast<int>(Slot::Count); ++s) StopLoad(static_cast<Slot>(s));
    pool_->clear();
    if (pool_->waitForDone(StopWaitMs)) delete pool_;
}

void CharacterView::SetClock(Clock clock) { clock_ = std::move(clock); }

void CharacterView::SendCommand(const QString& command) {
    commands_.append(command);
    const ViewCommand parsed = ParseViewCommand(command.toStdString());
    const QString path = QString::fromStdString(parsed.path);
    switch (parsed.kind) {
    case ViewCommandKind::Load:
        switch (KindOfFile(parsed.path)) {
        case LoadedKind::Script: StartLoad(Slot::Script, path); break;
        case LoadedKind::Character: StartLoad(Slot::Character, path); break;
        case LoadedKind::Picture: StartLoad(Slot::Skin, path); break;
        }
        break;
    case ViewCommandKind::LoadBackground: StartLoad(Slot::Background, path); break;
    case ViewCommandKind::Reset:
        // Stops playing, stops and drops a script still loading, and stands
        // at rest.
        ++serials_[static_cast<int>(Slot::Script)];
        StopLoad(Slot::Script);
        StopPlaying();
        timeline_.reset();
        values_ = {};
        playingName_.clear();
        clockTime_ = 0;
        update();
        break;
    case ViewCommandKind::Unknown: {
        QString shown = command.left(ShownCommandChars);
        if (shown.size() < command.size()) shown += QStringLiteral("...");
        ShowNote(tr("unknown command: %1").arg(shown));
        break;
    }
    }
    emit CommandSent(command);
}

void CharacterView::StartLoad(Slot slot, const QString& path) {
    const quint64 serial = ++serials_[static_cast<int>(slot)];
    const bool startupBackground =
        slot == Slot::Background && path == QString::fromStdString(StartupBackgroundPath());
    // A newer load of the same kind stops the one it replaces between chunks.
    StopLoad(slot);
    auto stop = std::make_shared<StopFlag>(false);
    stops_[static_cast<int>(slot)] = stop;
    ++pendingLoads_;
    // Everything touching the file runs on a worker of the view's own pool: a
    // large script, a slow disk or a big picture never holds up the window,
    // and a stuck worker never holds up the painter, whose pool is Qt's own.
    auto work = [slot, serial, path, startupBackground, stop]() {
        LoadResult r;
        r.slot = slot;
        r.serial = serial;
        r.path = path;
        r.name = FileName(path);
        const std::filesystem::path file(PathBytes(path.toStdString()));
        const QString cannotRead = tr("cannot read %1: %2");
        // The file is opened first, without waiting, and what was opened is
        // checked: a path swapped for a pipe after any check cannot block.
        FileFault fault = FileFault::None;
        const auto failed = [&r, &cannotRead, &fault, startupBackground] {
            switch (fault) {
            case FileFault::Missing:
                r.plainBackground = startupBackground;
                if (!startupBackground) r.note = cannotRead.arg(r.name, tr("no such file"));
                break;
            case FileFault::Folder: r.note = cannotRead.arg(r.name, tr("not a file")); break;
            case FileFault::NotRegular: r.note = cannotRead.arg(r.name, tr("not a regular file")); break;
            case FileFault::NoPermission: r.note = cannotRead.arg(r.name, tr("no permission")); break;
            case FileFault::TooLarge: r.note = cannotRead.arg(r.name, tr("too large")); break;
            case FileFault::Shrank: r.note = cannotRead.arg(r.name, tr("changed while read")); break;
            case FileFault::Stopped: break;  // replaced: the result is dropped
            default: r.note = cannotRead.arg(r.name, tr("read error")); break;
            }
        };
        if (slot == Slot::Character) {
            if (OpenedFile::Open(file, &fault)) r.ok = true;
            else failed();
            return r;
        }
        const std::uint64_t limit = slot == Slot::Script ? MaxScriptBytes : MaxPictureBytes;
        std::string bytes;
        try {
            Outcome<std::string> read = ReadWholeFile(file, limit, stop.get(), &fault);
            if (!read) {
                failed();
                return r;
            }
            bytes = std::move(read).value();
        } catch (const std::bad_alloc&) {
            r.note = cannotRead.arg(r.name, tr("too large"));
            return r;
        }
        switch (slot) {
        case Slot::Script: {
            if (bytes.empty()) {
                r.note = tr("%1: empty file").arg(r.name);
                break;
            }
            auto timeline = std::make_shared<HapTimeline>(ReadHapScript(bytes, stop.get()));
            if (stop->load()) break;
            bool named = false;
            for (const RegisterTrack& track : timeline->tracks) named = named || !track.times.empty();
            // Lines the reader passed over (sub headers, other commands) are
            // normal in a script; only a script with nothing to play is noted.
            if (!named) {
                r.note = tr("%1: no register lines").arg(r.name);
                break;
            }
            r.timeline = std::move(timeline);
            r.ok = true;
            break;
        }
        case Slot::Skin:
        case Slot::Background: {
            QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
            QBuffer buffer(&data);
            buffer.open(QIODevice::ReadOnly);
            QImageReader reader(&buffer);
            QImage picture = reader.read();
            if (picture.isNull()) {
                r.note = tr("cannot show %1: not a picture").arg(r.name);
                break;
            }
            if (slot == Slot::Skin) {
                r.skin = SkinFromPicture(DefaultLook(), picture)[Material::Skin];
            } else {
                if (picture.width() > MaxBackgroundSide || picture.height() > MaxBackgroundSide)
                    picture = picture.scaled(MaxBackgroundSide, MaxBackgroundSide, Qt::KeepAspectRatio,
                                             Qt::SmoothTransformation);
                r.picture = std::move(picture);
            }
            r.ok = true;
            break;
        }
        case Slot::Character:
        case Slot::Count: break;
        }
        return r;
    };
    // The watcher reports through the event loop, also when the work is done
    // before it is watched, so a load never finishes inside SendCommand.
    auto* watcher = new QFutureWatcher<LoadResult>(this);
    connect(watcher, &QFutureWatcher<LoadResult>::finished, this, [this, watcher] {
        const LoadResult result = watcher->result();
        watcher->deleteLater();
        --pendingLoads_;
        if (result.serial == serials_[static_cast<int>(result.slot)]) Apply(result);
        emit LoadFinished(result.path);
    });
    watcher->setFuture(QtConcurrent::run(pool_, work));
}

void CharacterView::StopLoad(Slot slot) {
    if (const auto& stop = stops_[static_cast<int>(slot)]) stop->store(true);
}

void CharacterView::Apply(const LoadResult& r) {
    if (!r.ok) {
        if (r.plainBackground) {
            background_ = QImage();
            scaledBackground_ = QPixmap();
            update();
        }
        if (!r.note.isEmpty()) ShowNote(r.note);
        return;
    }
    ShowNote(r.note);
    switch (r.slot) {
    case Slot::Script: StartPlaying(r.timeline, r.name); break;
    case Slot::Character: characterName_ = r.name; break;
    case Slot::Skin: {
        FigureLook look = painter_.Look();
        look[Material::Skin] = r.skin;
        look[Material::SkinShadow] = r.skin.darker(125);
        painter_.SetLook(look);
        break;
    }
    case Slot::Background:
        background_ = r.picture;
        scaledBackground_ = QPixmap();
        break;
    case Slot::Count: break;
    }
    update();
}

void CharacterView::StartPlaying(std::shared_ptr<const HapTimeline> timeline, const QString& name) {
    timeline_ = std::move(timeline);
    startTime_ = std::min(timeline_->firstTime, timeline_->lastTime);
    endTime_ = std::max(timeline_->firstTime, timeline_->lastTime);
    playingName_ = name;
    startMs_ = clock_();
    playing_ = true;
    frameTimer_.start();
    Tick();
}

void CharacterView::StopPlaying() {
    playing_ = false;
    frameTimer_.stop();
}

void CharacterView::Tick() {
    if (!playing_ || !timeline_) return;
    double t = startTime_ + static_cast<double>(clock_() - startMs_) / 1000;
    if (!(t < endTime_)) {
        t = endTime_;
        StopPlaying();
    }
    clockTime_ = t;
    // A register the script never names stays at rest.
    for (int i = 0; i < RegisterCount; ++i)
        values_[i] = SampleTrack(timeline_->tracks[i], t).value_or(0.0f);
    update();
}

void CharacterView::ShowNote(const QString& note) {
    note_ = note;
    update();
}

void CharacterView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = contentsRect();
    if (!background_.isNull()) {
        if (scaledBackground_.size() != r.size()) {
            // Scaled to fill the view, the overhang cut off evenly.
            const QImage filled =
                background_.scaled(r.size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
            scaledBackground_ = QPixmap::fromImage(filled.copy((filled.width() - r.width()) / 2,
                                                               (filled.height() - r.height()) / 2,
                                                               r.width(), r.height()));
        }
        p.drawPixmap(r.topLeft(), scaledBackground_);
    } else {
        QLinearGradient sky(r.topLeft(), r.bottomLeft());
        sky.setColorAt(0, QColor(72, 80, 98));
        sky.setColorAt(1, QColor(30, 33, 42));
        p.fillRect(r, sky);
    }

    p.save();
    p.translate(r.topLeft());
    const Viewport viewport{r.width(), r.height()};
    // The figure's shadow on the floor.
    const Projected ground = Project({values_[102], 0, values_[104]}, viewport);
    if (std::isfinite(ground.at.x) && std::isfinite(ground.at.y)) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 70));
        p.drawEllipse(QPointF(ground.at.x, ground.at.y), 26 * ground.scale, 7 * ground.scale);
    }
    BuildFigure(values_, viewport, shapes_);
    painter_.Paint(p, shapes_);
    p.restore();

    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() * 0.85));
    p.setFont(small);
    const QRect text = r.adjusted(5, 3, -5, -3);
    auto label = [&p](const QRect& box, int flags, const QString& s, const QColor& colour) {
        const QRect used = p.boundingRect(box, flags, s);
        p.fillRect(used.adjusted(-3, -1, 3, 1), QColor(0, 0, 0, 110));
        p.setPen(colour);
        p.drawText(box, flags, s);
    };
    if (!playingName_.isEmpty())
        label(text, Qt::AlignLeft | Qt::AlignTop,
              QStringLiteral("%1  %2").arg(playingName_, QString::fromStdString(FormatNumber(clockTime_))),
              QColor(225, 230, 240));
    if (!characterName_.isEmpty())
        label(text, Qt::AlignRight | Qt::AlignTop, characterName_, QColor(225, 230, 240));
    if (!note_.isEmpty())
        label(text, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, note_, QColor(255, 210, 150));
    drawFrame(&p);
}

}  // namespace tw
