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

Outcome<DocumentRun> AppendRun(const DocumentTexts& document, const ProgressFn& progress, std::string reuse) {
    if (document.activeFile.empty()) return Outcome<DocumentRun>::Failure(std::string(NoFileToAppendMessage));
    Outcome<DocumentRun> run = RunDocument(BlockDestination::File, document, progress, std::move(reuse));
    if (!run) return run;
    const Outcome<void> written = AppendQuotedRecord(document.activeFile, run.value().block.text);
    if (!written) return Outcome<DocumentRun>::Failure(NotAddedMessage(written.error()));
    return run;
}

}  // namespace tw
