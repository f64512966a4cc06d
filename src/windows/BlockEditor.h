// The edits of a file's blocks from the character view's strip: "Load this
// block" brings the block into the form as "Load  last animation from file"
// brings a last block; "Replace with the form", "Insert the form before" and
// "Remove" (after a Yes) change the file through the core's safe write, later
// blocks rippled. A file changed by another program since its blocks were
// shown is refused, and the strip is shown anew after every edit.
#pragma once

#include <QObject>
#include <QPointer>
#include <string>

#include "session/FileEdits.h"
#include "windows/BlockStrip.h"

class QWidget;

namespace tw {

class Dialogs;
class DocumentModel;
class ProgressForm;

class BlockEditor : public QObject {
    Q_OBJECT
public:
    // Edits the blocks `strip` shows, with the form of `document`; messages
    // and questions go through `dialogs` over `window`.
    BlockEditor(BlockStrip& strip, DocumentModel& document, Dialogs& dialogs, QWidget* window);

    // Carries out an action of the strip's menu on block `number` of `path`.
    void Perform(BlockStrip::Action action, long number, const QString& path);

signals:
    // The file at `path` (its bytes' name) was changed by `edit` (a replace,
    // insert or remove): what the history keeps to take it back.
    void Edited(const std::string& path, tw::BlockStrip::Action action, const tw::BlockEdit& edit);

private:
    void Load(long number, const QString& path);
    void Edit(BlockStrip::Action action, long number, const QString& path);
    // Whether the file is still as its blocks were shown; says so when not.
    bool StillAsShown(const QString& path, bool edit);
    ProgressForm* ShowProgress(bool always);
    void Inform(const std::string& message);

    BlockStrip& strip_;
    DocumentModel& document_;
    Dialogs& dialogs_;
    QWidget* window_;
    QPointer<ProgressForm> progress_;
};

}  // namespace tw
