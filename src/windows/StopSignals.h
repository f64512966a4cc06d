// Stop requests from outside (SIGTERM at a logout or shutdown, SIGINT from
// Ctrl+C, SIGHUP when the terminal goes) close the program as "Exit" does,
// instead of ending it wherever it stands.
#pragma once

class QWidget;

namespace tw {

// From now on a stop signal closes `mainWindow` and quits the event loop. The
// signal is acted on in the event loop: a run in progress (which does not
// return to it) finishes first, and a file write holds these signals until it
// is done, so a stop never leaves a torn record.
void CloseOnStopSignals(QWidget* mainWindow);

}  // namespace tw
