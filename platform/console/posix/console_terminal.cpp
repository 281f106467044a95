#include "platform/console/posix/console_terminal.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace voren::posix {
namespace {

// Signals that end the process by default, and so must put the terminal
// back first.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGABRT};

struct TerminalState {
  // Written before the handlers are installed, read by them only.
  termios saved{};
  termios keyMode{};
  volatile sig_atomic_t changed = 0;
  volatile sig_atomic_t windowChanges = 0;
};
TerminalState state;

void restoreAtExit() { restoreTerminal(); }

void install(int signal, void (*handler)(int), int flags) {
  struct sigaction old {};
  sigaction(signal, nullptr, &old);
  if (old.sa_handler == SIG_IGN) return;  // nohup and friends meant it
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

// Restores the terminal, then lets the signal do what it would have done:
// SA_RESETHAND has put the default action back and SA_NODEFER lets the
// raised signal through at once.
void onEndingSignal(int signal) {
  restoreTerminal();
  raise(signal);
}

// Ctrl-Z: the shell gets its terminal back as it was; key mode returns
// when the process is continued.
void onStop(int) {
  const int savedErrno = errno;
  restoreTerminal();
  signal(SIGTSTP, SIG_DFL);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);
  raise(SIGTSTP);
  // Running again.
  install(SIGTSTP, onStop, 0);
  errno = savedErrno;
}

void onContinue(int) {
  const int savedErrno = errno;
  if (state.changed) tcsetattr(STDIN_FILENO, TCSANOW, &state.keyMode);
  state.windowChanges = state.windowChanges + 1;
  errno = savedErrno;
}

void onWindowChange(int) { state.windowChanges = state.windowChanges + 1; }

}  // namespace

bool enterKeyMode() {
  if (state.changed) return true;
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &state.saved) != 0) return false;
  state.keyMode = state.saved;
  state.keyMode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
  state.keyMode.c_lflag |= ISIG;
  state.keyMode.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON | IXOFF);
  state.keyMode.c_cc[VMIN] = 1;
  state.keyMode.c_cc[VTIME] = 0;

  for (const int signal : kEndingSignals)
    install(signal, onEndingSignal, SA_RESETHAND | SA_NODEFER);
  install(SIGTSTP, onStop, 0);
  install(SIGCONT, onContinue, SA_RESTART);
  std::atexit(restoreAtExit);

  if (tcsetattr(STDIN_FILENO, TCSANOW, &state.keyMode) != 0) return false;
  state.changed = 1;
  return true;
}

void restoreTerminal() {
  if (state.changed) tcsetattr(STDIN_FILENO, TCSANOW, &state.saved);
}

unsigned windowChanges() {
  // Only a caller that keeps lines in place needs the signals; nobody else
  // gets interrupted by them.
  static const bool watching = [] {
    install(SIGWINCH, onWindowChange, SA_RESTART);
    install(SIGCONT, onContinue, SA_RESTART);
    return true;
  }();
  static_cast<void>(watching);
  return static_cast<unsigned>(state.windowChanges);
}

}  // namespace voren::posix
