#include "windows/ScriptLoads.h"

#include <QBuffer>
#include <QFutureWatcher>
#include <QImageReader>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <filesystem>
#include <new>

#include "document/FixedPaths.h"
#include "document/PathText.h"
#include "document/ViewCommands.h"
#include "reading/FileBytes.h"
#include "render/FigurePainter.h"

namespace tw {

namespace {

using Slot = ScriptLoads::Slot;
using Result = ScriptLoads::Result;

constexpr std::uint64_t MaxScriptBytes = std::uint64_t{1} << 30;   // a script beyond this is not read
constexpr std::uint64_t MaxPictureBytes = std::uint64_t{1} << 28;  // nor a picture beyond this
constexpr int LoadThreads = 2;
// How long closing waits for the workers, which stop between chunks.
constexpr int StopWaitMs = 500;
constexpr int MaxBackgroundSide = 2048;  // a background is kept no larger

QString FileName(const QString& path) {
    return QString::fromStdString(std::string(FileNameOf(path.toStdString())));
}

// The note for a file that could not be read, by why.
void NoteFault(Result& r, FileFault fault, bool startupBackground) {
    const QString cannotRead = ScriptLoads::tr("cannot read %1: %2");
    switch (fault) {
    case FileFault::Missing:
        r.plainBackground = startupBackground;
        if (!startupBackground) r.note = cannotRead.arg(r.name, ScriptLoads::tr("no such file"));
        break;
    case FileFault::Folder: r.note = cannotRead.arg(r.name, ScriptLoads::tr("not a file")); break;
    case FileFault::NotRegular: r.note = cannotRead.arg(r.name, ScriptLoads::tr("not a regular file")); break;
    case FileFault::NoPermission: r.note = cannotRead.arg(r.name, ScriptLoads::tr("no permission")); break;
    case FileFault::TooLarge: r.note = cannotRead.arg(r.name, ScriptLoads::tr("too large")); break;
    case FileFault::Shrank: r.note = cannotRead.arg(r.name, ScriptLoads::tr("changed while read")); break;
    case FileFault::Stopped: break;  // replaced: the result is dropped
    default: r.note = cannotRead.arg(r.name, ScriptLoads::tr("read error")); break;
    }
}

void DecodeScript(Result& r, const std::string& bytes, const StopFlag& stop) {
    if (bytes.empty()) {
        r.note = ScriptLoads::tr("%1: empty file").arg(r.name);
        return;
    }
    auto timeline = std::make_shared<HapTimeline>(ReadHapScript(bytes, &stop));
    if (stop.load()) return;
    bool named = false;
    for (const RegisterTrack& track : timeline->tracks) named = named || !track.times.empty();
    // Lines the reader passed over (sub headers, other commands) are normal
    // in a script; only a script with nothing to play is noted.
    if (!named) {
        r.note = ScriptLoads::tr("%1: no register lines").arg(r.name);
        return;
    }
    r.timeline = std::move(timeline);
    r.ok = true;
}

void DecodePicture(Result& r, const std::string& bytes) {
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImage picture = reader.read();
    if (picture.isNull()) {
        r.note = ScriptLoads::tr("cannot show %1: not a picture").arg(r.name);
        return;
    }
    if (r.slot == Slot::Skin) {
        r.skin = SkinFromPicture(DefaultLook(), picture)[Material::Skin];
    } else {
        if (picture.width() > MaxBackgroundSide || picture.height() > MaxBackgroundSide)
            picture = picture.scaled(MaxBackgroundSide, MaxBackgroundSide, Qt::KeepAspectRatio,
                                     Qt::SmoothTransformation);
        r.picture = std::move(picture);
    }
    r.ok = true;
}

// A worker's whole load. The file is opened first, without waiting, and what
// was opened is checked: a path swapped for a pipe after any check cannot block.
Result Load(Slot slot, quint64 serial, const QString& path, bool startupBackground, const StopFlag& stop) {
    Result r;
    r.slot = slot;
    r.serial = serial;
    r.path = path;
    r.name = FileName(path);
    const std::filesystem::path file(PathBytes(path.toStdString()));
    FileFault fault = FileFault::None;
    if (slot == Slot::Character) {
        if (OpenedFile::Open(file, &fault)) r.ok = true;
        else NoteFault(r, fault, startupBackground);
        return r;
    }
    std::string bytes;
    try {
        const std::uint64_t limit = slot == Slot::Script ? MaxScriptBytes : MaxPictureBytes;
        Outcome<std::string> read = ReadWholeFile(file, limit, &stop, &fault);
        if (!read) {
            NoteFault(r, fault, startupBackground);
            return r;
        }
        bytes = std::move(read).value();
    } catch (const std::bad_alloc&) {
        r.note = ScriptLoads::tr("cannot read %1: %2").arg(r.name, ScriptLoads::tr("too large"));
        return r;
    }
    if (slot == Slot::Script) DecodeScript(r, bytes, stop);
    else DecodePicture(r, bytes);
    return r;
}

}  // namespace

ScriptLoads::ScriptLoads(QObject* parent) : QObject(parent) {
    pool_ = new QThreadPool;
    pool_->setMaxThreadCount(LoadThreads);
}

ScriptLoads::~ScriptLoads() {
    // Loads still running are stopped; their workers look at the flag between
    // chunks and lines, so they end within a few milliseconds. A worker that
    // still has not ended (a disk that does not answer) is left to the end of
    // the process rather than waited for.
    for (int s = 0; s < static_cast<int>(Slot::Count); ++s) Stop(static_cast<Slot>(s));
    pool_->clear();
    if (pool_->waitForDone(StopWaitMs)) delete pool_;
}

void ScriptLoads::Start(Slot slot, const QString& path) {
    const quint64 serial = ++serials_[static_cast<int>(slot)];
    const bool startupBackground =
        slot == Slot::Background && path == QString::fromStdString(StartupBackgroundPath());
    // A newer load of the same kind stops the one it replaces between chunks.
    Stop(slot);
    auto stop = std::make_shared<StopFlag>(false);
    stops_[static_cast<int>(slot)] = stop;
    ++pending_;
    // The watcher reports through the event loop, also when the work is done
    // before it is watched, so a load never finishes inside Start.
    auto* watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcher<Result>::finished, this, [this, watcher] {
        const Result result = watcher->result();
        watcher->deleteLater();
        --pending_;
        if (result.serial == serials_[static_cast<int>(result.slot)]) emit Loaded(result);
        emit Finished(result.path);
    });
    watcher->setFuture(QtConcurrent::run(pool_, [slot, serial, path, startupBackground, stop] {
        return Load(slot, serial, path, startupBackground, *stop);
    }));
}

void ScriptLoads::Drop(Slot slot) {
    ++serials_[static_cast<int>(slot)];
    Stop(slot);
}

void ScriptLoads::Stop(Slot slot) {
    if (const auto& stop = stops_[static_cast<int>(slot)]) stop->store(true);
}

}  // namespace tw
