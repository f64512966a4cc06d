#include "generation/GenerationRun.h"

#include "generation/ScriptFile.h"

namespace tw {

Outcome<DocumentRun> RunDocument(BlockDestination destination, const DocumentTexts& document,
                                 const ProgressFn& progress, std::string reuse) {
    Outcome<GeneratedBlock> block = BlockFor(destination, document, progress, std::move(reuse));
    if (!block) return Outcome<DocumentRun>::Failure(block.error());
    return Outcome<DocumentRun>::Success(
        {std::move(block).value(),
         destination == BlockDestination::File ? document.finishTime : document.startTime});
}

std::string NotAddedMessage(std::string_view reason) {
    return "The animation was not added.\n" + std::string(reason) + "\nThe file was left as it was.";
}

std::string NotAddedMessage(const FileChange& failure) {
    switch (failure.left()) {
    case FileChange::Left::Busy: return failure.error();
    case FileChange::Left::Changed: return "The animation was not added.\n" + failure.error();
    case FileChange::Left::AsItWas: break;
    }
    return NotAddedMessage(failure.error());
}

Outcome<DocumentRun> AppendRun(const DocumentTexts& document, const ProgressFn& progress, std::string reuse,
                               std::chrono::milliseconds wait) {
    if (document.activeFile.empty()) return Outcome<DocumentRun>::Failure(std::string(NoFileToAppendMessage));
    Outcome<DocumentRun> run = RunDocument(BlockDestination::File, document, progress, std::move(reuse));
    if (!run) return run;
    const FileChange written = AppendQuotedRecord(document.activeFile, run.value().block.text, wait);
    if (!written) return Outcome<DocumentRun>::Failure(NotAddedMessage(written));
    return run;
}

}  // namespace tw
