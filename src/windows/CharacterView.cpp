#include "windows/CharacterView.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFuture>
#include <QFutureWatcher>
#include <QImageReader>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QThreadPool>
#include <QWheelEvent>
#include <QtConcurrent/QtConcurrentRun>
#include <filesystem>
#include <new>

#include "document/FixedPaths.h"
#include "document/PathText.h"
#include "generation/HapScript.h"
#include "document/ViewCommands.h"
#include "reading/FileBytes.h"
#include "session/Transport.h"
#include "windows/CharacterWindow.h"

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
constexpr int TimelineHeight = 12;   // the bar along the bottom edge
constexpr int TimelineGrip = 6;      // pixels above the bar that still grab it
constexpr int DragThreshold = 3;     // a press that moves less is a click
constexpr double GhostOpacity = 0.38;
// How near a tick, in pixels, a click or drag on the timeline lands on it.
constexpr int TickReach = 2;

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
    // A click gives the keyboard to the view; Tab passes it by.
    setFocusPolicy(Qt::ClickFocus);
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
        liveLabel_.clear();
        keyTimes_.clear();
        paused_ = false;
        clockTime_ = 0;
        Refresh();
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
            caches_ = {};
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
        caches_ = {};
        break;
    case Slot::Count: break;
    }
    update();
}

void CharacterView::StartPlaying(std::shared_ptr<const HapTimeline> timeline, const QString& name) {
    timeline_ = std::move(timeline);
    keyTimes_ = KeyframeTimes(*timeline_);
    startTime_ = std::min(timeline_->firstTime, timeline_->lastTime);
    endTime_ = std::max(timeline_->firstTime, timeline_->lastTime);
    SamplePose(*timeline_, startTime_, firstPose_);
    SamplePose(*timeline_, endTime_, lastPose_);
    ++ghostSerial_;
    playingName_ = name;
    liveLabel_.clear();
    paused_ = false;
    anchorTime_ = startTime_;
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
    double t = anchorTime_ + static_cast<double>(clock_() - startMs_) / 1000;
    if (!(t < endTime_)) {
        if (looping_ && endTime_ > startTime_) {
            t = LoopedTime(startTime_, endTime_, t - startTime_);
        } else {
            t = endTime_;
            StopPlaying();
        }
    }
    ShowTime(t);
}

void CharacterView::ShowTime(double t) {
    clockTime_ = t;
    // A register the script never names stays at rest.
    SamplePose(*timeline_, t, values_);
    Refresh();
}

void CharacterView::Pause() {
    if (!playing_) return;
    Tick();
    StopPlaying();
    paused_ = true;
    Refresh();
}

void CharacterView::Resume() {
    if (!timeline_ || playing_) return;
    // A script that has ended plays again from its start.
    anchorTime_ = clockTime_ < endTime_ ? clockTime_ : startTime_;
    startMs_ = clock_();
    paused_ = false;
    playing_ = true;
    frameTimer_.start();
    Tick();
}

void CharacterView::ScrubTo(double t) {
    if (!timeline_) return;
    StopPlaying();
    paused_ = true;
    ShowTime(std::clamp(t, startTime_, endTime_));
}

void CharacterView::ShowLivePose(const PoseValues& values, const QString& label) {
    StopPlaying();
    timeline_.reset();
    keyTimes_.clear();
    paused_ = false;
    playingName_.clear();
    values_ = values;
    liveLabel_ = label.isEmpty() ? QStringLiteral(" ") : label;
    Refresh();
}

void CharacterView::SetCamera(const ViewCamera& camera) {
    if (camera == camera_) return;
    camera_ = camera;
    Refresh();
}

void CharacterView::Refresh() {
    update();
    emit PictureChanged();
}

void CharacterView::ShowNote(const QString& note) {
    note_ = note;
    update();
}

CharacterView::SizeCache& CharacterView::CacheFor(QSize size) const {
    for (int i = 0; i < static_cast<int>(caches_.size()); ++i)
        if (caches_[i].size == size) {
            lastCache_ = i;
            return caches_[i];
        }
    // The slot not used last goes to the new size.
    lastCache_ = (lastCache_ + 1) % static_cast<int>(caches_.size());
    caches_[lastCache_] = SizeCache{};
    caches_[lastCache_].size = size;
    return caches_[lastCache_];
}

QRect CharacterView::TimelineRect(const QRect& area) const {
    return QRect(area.left(), area.bottom() + 1 - TimelineHeight, area.width(), TimelineHeight);
}

void CharacterView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintPicture(p, contentsRect(), hasFocus());
    drawFrame(&p);
}

void CharacterView::PaintPicture(QPainter& p, const QRect& r, bool focused) const {
    SizeCache& cache = CacheFor(r.size());
    if (!background_.isNull()) {
        if (cache.background.size() != r.size()) {
            // Scaled to fill the view, the overhang cut off evenly.
            const QImage filled =
                background_.scaled(r.size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
            cache.background = QPixmap::fromImage(filled.copy((filled.width() - r.width()) / 2,
                                                              (filled.height() - r.height()) / 2, r.width(),
                                                              r.height()));
        }
        p.drawPixmap(r.topLeft(), cache.background);
    } else {
        QLinearGradient sky(r.topLeft(), r.bottomLeft());
        sky.setColorAt(0, QColor(72, 80, 98));
        sky.setColorAt(1, QColor(30, 33, 42));
        p.fillRect(r, sky);
    }

    p.save();
    p.translate(r.topLeft());
    const Viewport viewport{r.width(), r.height()};
    // The figure's shadow on the floor, flatter the lower the camera.
    const Projected ground = Project({values_[102], 0, values_[104]}, viewport, camera_);
    if (std::isfinite(ground.at.x) && std::isfinite(ground.at.y)) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 70));
        const double flat = std::max(7.0, 26 * std::fabs(std::sin(double(camera_.pitch))));
        p.drawEllipse(QPointF(ground.at.x, ground.at.y), 26 * ground.scale, flat * ground.scale);
    }
    if (ghosts_ && timeline_) {
        // The first and last pose, drawn once per size, camera and script.
        if (cache.ghostSize != r.size() || cache.ghostCamera != camera_ || cache.ghostSerial != ghostSerial_) {
            DrawGhosts(cache.ghosts, r.size(), firstPose_, lastPose_, camera_);
            cache.ghostSize = r.size();
            cache.ghostCamera = camera_;
            cache.ghostSerial = ghostSerial_;
        }
        p.setOpacity(GhostOpacity);
        if (!cache.ghosts.image.isNull()) p.drawImage(cache.ghosts.at, cache.ghosts.image);
        p.setOpacity(1);
    }
    BuildFigure(values_, viewport, camera_, shapes_);
    painter_.Paint(p, shapes_);
    p.restore();

    QFont small = p.font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() * 0.85));
    p.setFont(small);
    const bool transport = timeline_ != nullptr;
    const QRect bar = TimelineRect(r);
    const QRect text = r.adjusted(5, 3, -5, transport ? -3 - TimelineHeight : -3);
    auto label = [&p](const QRect& box, int flags, const QString& s, const QColor& colour) {
        const QRect used = p.boundingRect(box, flags, s);
        p.fillRect(used.adjusted(-3, -1, 3, 1), QColor(0, 0, 0, 110));
        p.setPen(colour);
        p.drawText(box, flags, s);
    };
    if (!playingName_.isEmpty()) {
        QString state = QStringLiteral("%1  %2").arg(playingName_, QString::fromStdString(FormatNumber(clockTime_)));
        if (paused_) state += tr("  paused");
        if (looping_) state += tr("  loop");
        label(text, Qt::AlignLeft | Qt::AlignTop, state, QColor(225, 230, 240));
    } else if (!liveLabel_.trimmed().isEmpty()) {
        label(text, Qt::AlignLeft | Qt::AlignTop, liveLabel_, QColor(200, 240, 200));
    }
    if (!characterName_.isEmpty())
        label(text, Qt::AlignRight | Qt::AlignTop, characterName_, QColor(225, 230, 240));
    if (!note_.isEmpty())
        label(text, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, note_, QColor(255, 210, 150));

    if (transport) {
        // The timeline: a tick at each keyframe time, the play position over them.
        const TimeScale scale{startTime_, endTime_, bar.width()};
        if (cache.tickSerial != ghostSerial_ || static_cast<int>(cache.ticks.size()) > bar.width() ||
            cache.ticks.empty()) {
            cache.ticks = TickColumns(keyTimes_, scale);
            cache.tickSerial = ghostSerial_;
        }
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillRect(bar, QColor(12, 14, 20, 200));
        p.setPen(QColor(150, 160, 180));
        for (int column : cache.ticks)
            p.drawLine(bar.left() + column, bar.top() + 3, bar.left() + column, bar.bottom() - 2);
        const int at = bar.left() + scale.ColumnOf(clockTime_);
        p.fillRect(QRect(bar.left(), bar.bottom() - 1, at - bar.left() + 1, 2), QColor(120, 190, 255));
        p.fillRect(QRect(at - 1, bar.top(), 3, bar.height()), QColor(255, 255, 255));
    }
    if (focused) {
        p.setPen(QPen(QColor(120, 190, 255, 160), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
}

bool CharacterView::event(QEvent* e) {
    if (HandleInput(this, e)) return true;
    return QFrame::event(e);
}

bool CharacterView::HandleInput(QWidget* surface, QEvent* e) {
    const QRect area = surface == this ? contentsRect() : surface->rect();
    switch (e->type()) {
    case QEvent::MouseButtonPress: {
        auto* m = static_cast<QMouseEvent*>(e);
        const QPoint pos = m->position().toPoint();
        pressPos_ = lastPos_ = pos;
        surface->setFocus(Qt::MouseFocusReason);
        QRect grip = TimelineRect(area);
        grip.setTop(grip.top() - TimelineGrip);
        if (m->button() == Qt::LeftButton && timeline_ && grip.contains(pos)) {
            drag_ = Drag::Scrub;
            ScrubTo(ScrubTime(keyTimes_, TimeScale{startTime_, endTime_, area.width()}, pos.x() - area.left(), TickReach));
        } else if (m->button() == Qt::MiddleButton ||
                   (m->button() == Qt::LeftButton && (m->modifiers() & Qt::ShiftModifier))) {
            drag_ = Drag::Pan;
        } else if (m->button() == Qt::LeftButton) {
            drag_ = Drag::Pending;
        } else {
            return false;
        }
        return true;
    }
    case QEvent::MouseMove: {
        if (drag_ == Drag::None) return false;
        const QPoint pos = static_cast<QMouseEvent*>(e)->position().toPoint();
        if (drag_ == Drag::Pending && (pos - pressPos_).manhattanLength() >= DragThreshold) drag_ = Drag::Orbit;
        const QPoint delta = pos - lastPos_;
        switch (drag_) {
        case Drag::Orbit:
            lastPos_ = pos;
            SetCamera(Orbited(camera_, delta.x(), delta.y()));
            break;
        case Drag::Pan:
            lastPos_ = pos;
            SetCamera(Panned(camera_, delta.x(), delta.y(), FitScale({area.width(), area.height()})));
            break;
        case Drag::Scrub:
            // Held at the timeline's ends when the mouse leaves the view.
            ScrubTo(ScrubTime(keyTimes_, TimeScale{startTime_, endTime_, area.width()}, pos.x() - area.left(), TickReach));
            break;
        case Drag::None:
        case Drag::Pending: break;
        }
        return true;
    }
    case QEvent::MouseButtonRelease:
        if (drag_ == Drag::None) return false;
        drag_ = Drag::None;
        return true;
    case QEvent::MouseButtonDblClick: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (m->button() != Qt::LeftButton) return false;
        QRect grip = TimelineRect(area);
        grip.setTop(grip.top() - TimelineGrip);
        if (timeline_ && grip.contains(m->position().toPoint())) {
            drag_ = Drag::Scrub;
            return true;
        }
        OpenLarge();
        return true;
    }
    case QEvent::Wheel: {
        const int delta = static_cast<QWheelEvent*>(e)->angleDelta().y();
        if (delta == 0) return false;
        SetCamera(Zoomed(camera_, delta / 120.0f));
        return true;
    }
    case QEvent::KeyPress: {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
        switch (k->key()) {
        case Qt::Key_Home: SetCamera(StartupCamera()); return true;
        case Qt::Key_Space:
            if (!timeline_) return false;
            if (playing_) Pause();
            else Resume();
            return true;
        case Qt::Key_Left:
            if (!timeline_) return false;
            ScrubTo(PreviousTime(keyTimes_, clockTime_));
            return true;
        case Qt::Key_Right:
            if (!timeline_) return false;
            ScrubTo(NextTime(keyTimes_, clockTime_));
            return true;
        case Qt::Key_L:
            if (!timeline_) return false;
            looping_ = !looping_;
            Refresh();
            return true;
        default: return false;
        }
    }
    case QEvent::ContextMenu:
        ShowMenu(surface, static_cast<QContextMenuEvent*>(e)->globalPos());
        return true;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        surface->update();
        return false;
    default: return false;
    }
}

void CharacterView::ShowMenu(QWidget* surface, const QPoint& globalPos) {
    QMenu menu(surface);
    menu.setObjectName(QStringLiteral("CharacterViewMenu"));
    const struct {
        const char* text;
        CameraPreset preset;
    } presets[] = {{"Front", CameraPreset::Front},
                   {"Side", CameraPreset::Side},
                   {"Three-quarter", CameraPreset::ThreeQuarter},
                   {"Top", CameraPreset::Top}};
    for (const auto& preset : presets) {
        const CameraPreset which = preset.preset;
        menu.addAction(tr(preset.text), this, [this, which] { SetCamera(PresetCamera(which)); });
    }
    menu.addSeparator();
    QAction* ghosts = menu.addAction(tr("Ghosts of First and Last Pose"), this, [this] {
        ghosts_ = !ghosts_;
        Refresh();
    });
    ghosts->setCheckable(true);
    ghosts->setChecked(ghosts_);
    QAction* loop = menu.addAction(tr("Loop (L)"), this, [this] {
        looping_ = !looping_;
        Refresh();
    });
    loop->setCheckable(true);
    loop->setChecked(looping_);
    loop->setEnabled(timeline_ != nullptr);
    if (surface == this) {
        menu.addSeparator();
        menu.addAction(tr("Open Large"), this, &CharacterView::OpenLarge);
    }
    menu.exec(globalPos);
}

void CharacterView::OpenLarge() {
    if (!large_) {
        large_ = new CharacterWindow(this);
        connect(this, &CharacterView::PictureChanged, large_, &CharacterWindow::Repaint);
        connect(this, &CharacterView::CommandSent, large_, &CharacterWindow::Repaint);
        connect(this, &CharacterView::LoadFinished, large_, &CharacterWindow::Repaint);
    }
    large_->ShowRaised();
}

CharacterWindow* CharacterView::LargeWindow() const { return large_; }

}  // namespace tw
