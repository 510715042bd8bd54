// SIGTERM (a service stopped, the machine shutting down), SIGINT and SIGHUP
// asking the program to stop what it does: the first of them is noted, for
// a run to see at its next step, and made readable on a pipe, for an event
// loop to see; a second within 5 s ends the program at once, with the status
// 128 + the signal's number.
#pragma once

namespace stopsignals {

// Installs the handlers (once; later calls do nothing).
void install();

// The signal that asked to stop; 0 while none has.
int signalled();

// Readable once a signal has asked to stop; -1 when no pipe could be made.
int pipe();

} // namespace stopsignals
