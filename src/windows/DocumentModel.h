// What the companion windows (the file chooser, the slider window) see of the
// main window: the document's texts, the chooser's mode, the view's command
// line and the keyframe preview. They work through this and nothing else.
#pragma once

#include <optional>
#include <string>

#include "document/ChooserRules.h"
#include "document/DocumentTexts.h"

namespace tw {

class DocumentModel {
public:
    // Every field's text. Writing sets only the fields whose text differs,
    // through the fields, so their change rules run as when a user types.
    virtual DocumentTexts ReadDocument() const = 0;
    virtual void WriteDocument(const DocumentTexts& document) = 0;
    // The file chooser's mode as the four file buttons leave it; none until
    // one of them is pressed.
    virtual std::optional<ChooserMode> CurrentChooserMode() const = 0;
    // Hands a command to the character view.
    virtual void SendViewCommand(const std::string& command) = 0;
    // Previews the keyframe of `side` as its value boxes now hold it.
    virtual void PreviewKeyframe(KeyframeSide side) = 0;

protected:
    ~DocumentModel() = default;
};

}  // namespace tw
