#include "cli/StartupDocument.h"

#include "generation/FileBlock.h"

namespace tw {

DocumentTexts StartupDocument() {
    DocumentTexts document;
    document.fileHeader = std::string(DefaultFileHeader);
    document.startTime = "0";
    document.finishTime = "1";
    document.dKeyframe = "1";
    document.framesPSec = "10";
    document.acceleration = "0";
    for (int i = 0; i <= LastRegisterIndex; ++i) {
        document.names[i] = std::string(RegisterCatalogue()[i].name);
        document.initial[i] = "0";
        document.final[i] = "0";
    }
    return document;
}

}  // namespace tw
