// SIGTERM, SIGINT and SIGHUP end the window program as closing its window does: whatever box,
// dialog or menu is open gives up waiting, so does a start that is prebuffering, and every event
// loop returns, so the application saves the preferences and releases everything in order.
//
// Threads: user-interface thread. The signal handler itself only writes one byte to a pipe; the
// rest runs when the event loop (any loop, a modal one too) reads that byte.
#pragma once

class QApplication;

namespace zeblo {

// Installs the handlers for the three signals; once, right after the application object exists
// and before the sound library starts (which would otherwise take SIGINT and SIGTERM itself).
void EndOnTerminationSignals(QApplication& app);

// True once one of the signals was taken. From then on no box is shown, and an event loop that
// starts returns at once.
bool EndRequested();

}  // namespace zeblo
