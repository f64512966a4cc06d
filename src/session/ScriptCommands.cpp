#include "session/ScriptCommands.h"

#include "reading/LastAnimationLoader.h"

namespace tw {

Outcome<DocumentRun> GenerateOntoFile(const DocumentTexts& document, std::chrono::milliseconds wait) {
    return AppendRun(document, {}, {}, wait);
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
