// The view's loads: a script, a character, a skin picture and a background
// picture, each read and decoded on a worker of a pool of its own, so a large
// script, a slow disk or a big picture never holds up the window. Each kind
// has one slot: a newer load of the same kind stops the one it replaces, and
// a result that a newer load or a drop has overtaken is never delivered.
#pragma once

#include <QColor>
#include <QImage>
#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <memory>

#include "reading/HapScriptReader.h"

class QThreadPool;

namespace tw {

class ScriptLoads : public QObject {
    Q_OBJECT
public:
    enum class Slot { Script, Character, Skin, Background, Count };

    // What a worker hands back.
    struct Result {
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

    explicit ScriptLoads(QObject* parent = nullptr);
    ~ScriptLoads() override;

    // Starts reading `path` into `slot`; its result arrives through the
    // event loop, never inside this call.
    void Start(Slot slot, const QString& path);
    // Stops the slot's running load and drops its result.
    void Drop(Slot slot);
    bool IsLoading() const { return pending_ > 0; }

signals:
    // The result of the latest load of its slot.
    void Loaded(const tw::ScriptLoads::Result& result);
    // Any load's file work is done (after Loaded, when it was the latest).
    void Finished(const QString& path);

private:
    void Stop(Slot slot);

    // Each slot counts its loads, so an overtaken result is dropped, and its
    // latest load can be told to stop reading.
    std::array<quint64, static_cast<int>(Slot::Count)> serials_{};
    std::array<std::shared_ptr<std::atomic<bool>>, static_cast<int>(Slot::Count)> stops_{};
    int pending_ = 0;
    // The loads' own workers, apart from Qt's global pool.
    QThreadPool* pool_ = nullptr;
};

}  // namespace tw
