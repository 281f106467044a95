#include "platform/console/posix/console_terminal.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
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
  std::atomic<int> changed{0};
  // Counted by a handler that may run on any of the process's threads.
  std::atomic<unsigned> windowChanges{0};
};
TerminalState state;
// Handlers touch only lock-free atomics: async-signal-safe.
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free);

void restoreAtExit() { restoreTerminal(); }

// held: the signals blocked while the handler runs.
void install(int signal, void (*handler)(int), int flags, const sigset_t& held) {
  struct sigaction old {};
  sigaction(signal, nullptr, &old);
  if (old.sa_handler == SIG_IGN) return;  // nohup and friends meant it
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  action.sa_mask = held;
  sigaction(signal, &action, nullptr);
}

sigset_t noSignals() {
  sigset_t set;
  sigemptyset(&set);
  return set;
}

sigset_t endingSignals() {
  sigset_t set = noSignals();
  for (const int signal : kEndingSignals) sigaddset(&set, signal);
  return set;
}

// Restores the terminal, then lets the signal do what it would have done.
// Every ending signal is held until then, so a second one (a held Ctrl-C,
// or the same signal passed on by a parent such as timeout) cannot end the
// process with the terminal still in key mode.
void onEndingSignal(int signal) {
  restoreTerminal();
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  sigaction(signal, &byDefault, nullptr);
  raise(signal);
  sigset_t self = noSignals();
  sigaddset(&self, signal);
  pthread_sigmask(SIG_UNBLOCK, &self, nullptr);
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
  install(SIGTSTP, onStop, 0, noSignals());
  errno = savedErrno;
}

void onContinue(int) {
  const int savedErrno = errno;
  if (state.changed) tcsetattr(STDIN_FILENO, TCSANOW, &state.keyMode);
  state.windowChanges.fetch_add(1, std::memory_order_relaxed);
  errno = savedErrno;
}

void onWindowChange(int) { state.windowChanges.fetch_add(1, std::memory_order_relaxed); }

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

  const sigset_t ending = endingSignals();
  for (const int signal : kEndingSignals) install(signal, onEndingSignal, 0, ending);
  install(SIGTSTP, onStop, 0, noSignals());
  install(SIGCONT, onContinue, SA_RESTART, noSignals());
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
    install(SIGWINCH, onWindowChange, SA_RESTART, noSignals());
    install(SIGCONT, onContinue, SA_RESTART, noSignals());
    return true;
  }();
  static_cast<void>(watching);
  return state.windowChanges.load(std::memory_order_relaxed);
}

}  // namespace voren::posix
