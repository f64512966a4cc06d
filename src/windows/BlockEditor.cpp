#include "windows/BlockEditor.h"

#include <QFileInfo>

#include "document/FieldRules.h"
#include "document/FixedPaths.h"
#include "document/PathText.h"
#include "document/ViewCommands.h"
#include "generation/FileMessages.h"
#include "windows/Dialogs.h"
#include "windows/DocumentModel.h"
#include "windows/ProgressForm.h"

namespace tw {

namespace {

// An edit of a file this large shows the progress window.
constexpr std::uint64_t LargeFileBytes = std::uint64_t{16} << 20;

// Whether `path` is a file of its own rather than one of the previews, which
// the program writes whole each time.
bool WholeFile(const QString& path) {
    const Outcome<std::string> folder = PreviewFolder();
    if (!folder) return true;
    const std::string file = path.toStdString();
    return file != KeyframePreviewPath(folder.value(), KeyframeSide::Initial) &&
           file != KeyframePreviewPath(folder.value(), KeyframeSide::Final) &&
           file != AnimationPreviewPath(folder.value());
}

}  // namespace

BlockEditor::BlockEditor(BlockStrip& strip, DocumentModel& document, Dialogs& dialogs, QWidget* window)
    : QObject(window), strip_(strip), document_(document), dialogs_(dialogs), window_(window) {
    strip_.SetWholeFileRule(WholeFile);
    strip_.SetEditable(true);
    connect(&strip_, &BlockStrip::EditRequested, this, &BlockEditor::Perform);
}

void BlockEditor::Inform(const std::string& message) {
    dialogs_.Inform(window_, QString::fromStdString(message));
}

ProgressForm* BlockEditor::ShowProgress(bool always) {
    const std::optional<FileStamp>& stamp = strip_.Stamp();
    if (!always && (!stamp || stamp->size < LargeFileBytes)) return nullptr;
    if (progress_) progress_->close();
    progress_ = new ProgressForm(window_);
    progress_->PrepareForLoad();
    progress_->ShowPainted();
    return progress_;
}

bool BlockEditor::StillAsShown(const QString& path, bool edit) {
    const std::optional<FileStamp> now = StampOf(PathBytes(path.toStdString()));
    if (now && now == strip_.Stamp()) return true;
    Inform(file_messages::Named(path.toStdString()) +
           " was changed by another program since its blocks were shown; they are shown again." +
           (edit ? " The file was not changed." : ""));
    strip_.Refresh();
    return false;
}

void BlockEditor::Perform(BlockStrip::Action action, long number, const QString& path) {
    if (path != strip_.Path() || !StillAsShown(path, action != BlockStrip::Action::Load)) return;
    if (action == BlockStrip::Action::Load)
        Load(number, path);
    else
        Edit(action, number, path);
}

void BlockEditor::Load(long number, const QString& path) {
    const DocumentTexts document = document_.ReadDocument();
    const QPointer<ProgressForm> progress = ShowProgress(true);
    const Outcome<LoadedDocument> loaded = LoadBlockInto(PathBytes(path.toStdString()), number, document);
    if (!loaded) {
        if (progress) progress->close();
        return Inform(loaded.error());
    }
    for (const std::string& message : loaded.value().messages) Inform(message);
    // The block comes into the form; the file the form names stays.
    DocumentTexts after = loaded.value().document;
    after.activeFile = document.activeFile;
    document_.WriteDocument(after);
    if (progress) progress->ShowComplete();
}

void BlockEditor::Edit(BlockStrip::Action action, long number, const QString& path) {
    using Action = BlockStrip::Action;
    const std::string file = PathBytes(path.toStdString());
    const DocumentTexts document = document_.ReadDocument();
    if (action == Action::Remove) {
        const BlockIndex* index = strip_.Index();
        if (!index || number < 1 || static_cast<std::size_t>(number) > index->blocks.size()) return;
        const BlockEntry& block = index->blocks[static_cast<std::size_t>(number - 1)];
        const std::string question =
            RemoveQuestion(block, static_cast<std::size_t>(number), path.toStdString());
        if (!dialogs_.Ask(window_, QString::fromStdString(question))) return;
    }
    const QPointer<ProgressForm> progress = ShowProgress(false);
    const Outcome<BlockEdit> edit = action == Action::Replace  ? ReplaceBlock(file, number, document)
                                    : action == Action::Insert ? InsertBlockBefore(file, number, document)
                                                               : RemoveBlock(file, number);
    if (!edit) {
        if (progress) progress->close();
        Inform(edit.error());
        return strip_.Refresh();
    }
    emit Edited(file, action, edit.value());
    if (action != Action::Remove) {
        // The form's block went into the file as F5 puts it there: the sub
        // header is used up, and after a replace the start time moves on to
        // where the new block finished.
        DocumentTexts after = document;
        after.subHeader.clear();
        if (action == Action::Replace && !edit.value().nextStartTime.empty()) {
            after.startTime = edit.value().nextStartTime;
            after.finishTime = FinishTimeText(after.startTime, after.dKeyframe);
        }
        document_.WriteDocument(after);
    }
    // The view plays the file as it is now, and its strip follows.
    document_.SendViewCommand(LoadCommand(path.toStdString()));
    if (progress) progress->ShowComplete();
}

}  // namespace tw
