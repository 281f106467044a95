#pragma once
// The terminal mode of standard input: key by key without echo while the
// program runs, as it was on every way out of the process.

namespace voren::posix {

// Switches a terminal on standard input to reading key by key (no line
// editing, no echo, Enter as CR, no XON/XOFF) with Ctrl-C and the other
// signal keys kept, and arranges the old mode to come back at exit and on
// the signals that end or stop the process. False when standard input is
// no terminal; then nothing changes.
bool enterKeyMode();

// Puts the saved mode back now (also safe inside a signal handler).
void restoreTerminal();

// How many times the window was resized (SIGWINCH) or the process continued
// after a stop (SIGCONT) since the first call, which starts the count.
unsigned windowChanges();

}  // namespace voren::posix
