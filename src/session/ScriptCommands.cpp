#include "session/ScriptCommands.h"

#include "reading/LastAnimationLoader.h"

namespace tw {

Outcome<DocumentRun> GenerateOntoFile(const DocumentTexts& document, std::chrono::milliseconds wait,
                                      const std::function<bool()>& stopAsked) {
    if (!stopAsked) return AppendRun(document, {}, {}, wait);
    if (document.activeFile.empty()) return Outcome<DocumentRun>::Failure(std::string(NoFileToAppendMessage));
    Outcome<DocumentRun> run = RunDocument(BlockDestination::File, document);
    if (!run) return run;
    // The last moment a stop leaves the file untouched: from here the write
    // holds the stop signals until the record is whole or gone.
    if (stopAsked()) return Outcome<DocumentRun>::Failure(std::string(StoppedBeforeWriteMessage));
    const FileChange written = AppendQuotedRecord(document.activeFile, run.value().block.text, wait);
    if (!written) return Outcome<DocumentRun>::Failure(NotAddedMessage(written));
    return run;
}

Outcome<DocumentRun> GenerateAsText(const DocumentTexts& document) {
    return RunDocument(BlockDestination::Clipboard, document);
}

Outcome<LoadedDocument> LoadLastInto(const std::string& file, DocumentTexts document) {
    document.activeFile = file;
    const Outcome<LoadedAnimation> loaded = LoadLastAnimationFromFile(file, document.names);
    if (!loaded) return Outcome<LoadedDocument>::Failure(loaded.error());
    LoadedDocument result;
    result.messages = LoadMessages(loaded.value());
    ApplyLoadedAnimation(loaded.value(), document);
    result.document = std::move(document);
    return Outcome<LoadedDocument>::Success(std::move(result));
}

}  // namespace tw
