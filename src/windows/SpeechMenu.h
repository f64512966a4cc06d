// The speech track's entries in a view's context menu: "Speech track…",
// "No speech track", the offset and "Marks…".
#pragma once

class QMenu;
class QWidget;

namespace tw {

class PlayerController;

void AddSpeechEntries(QMenu& menu, QWidget* surface, PlayerController& player);

}  // namespace tw
