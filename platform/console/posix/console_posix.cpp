// The console on a POSIX terminal: key mode on standard input, ANSI
// sequences on standard output, the cursor read back with a position query.
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <string>

#include "platform/console/console.h"
#include "platform/console/posix/console_keys.h"
#include "platform/console/posix/console_terminal.h"
#include "platform/files/standard_output.h"

namespace voren {
namespace {

using posix::TerminalInput;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long the rest of an escape sequence may lag behind its Escape byte
// before the Escape counts as a key of its own.
constexpr milliseconds kSequenceWait{50};
// How long a terminal may take to answer a cursor position query.
constexpr milliseconds kCursorAnswerWait{500};

class TerminalConsole final : public Console {
 public:
  TerminalConsole()
      : outputIsTerminal_(isatty(STDOUT_FILENO) != 0),
        // A query needs a terminal to answer on the input it reads.
        canAskCursor_(posix::enterKeyMode() && outputIsTerminal_) {}

  void clear() override {
    if (outputIsTerminal_) write("\x1b[H\x1b[2J");
  }

  // Output that fails (a reader gone, a full disk) is no reason to stop: the
  // program tells it at its end.
  void write(std::string_view text) override { writeStandardOutput(text); }

  std::optional<Key> readKey() override {
    for (;;) {
      if (!keys_.empty()) {
        const Key key = keys_.front();
        keys_.pop_front();
        return key;
      }
      if (!input_.empty()) {
        takeFromInput();
        continue;
      }
      if (ended_) return std::nullopt;
      fill(-1);
    }
  }

  bool keyWaiting() override {
    if (keys_.empty() && input_.empty() && !ended_) fill(0);
    // Reports and unknown sequences are no key press; drop them here so they
    // do not count.
    while (keys_.empty() && !input_.empty()) {
      const auto decoded = posix::decodeTerminalInput(input_, !ended_);
      if (decoded.kind == TerminalInput::Kind::Key ||
          decoded.kind == TerminalInput::Kind::NeedMore) {
        return true;
      }
      input_.erase(0, decoded.length);
    }
    // A wait for a key must not outlast the input.
    return !keys_.empty() || ended_;
  }

  std::optional<CursorPosition> cursor() override {
    if (!canAskCursor_) return std::nullopt;
    write("\x1b[6n");
    const auto deadline = Clock::now() + kCursorAnswerWait;
    for (;;) {
      if (const auto position = takeCursorReport()) return position;
      const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
      if (left.count() <= 0 || ended_ || !fill(static_cast<int>(left.count()))) break;
    }
    // A terminal that does not answer is not asked again; a late answer is
    // dropped with the keys.
    canAskCursor_ = false;
    return std::nullopt;
  }

  // Within the line: a carriage return, then forward. No row number, so
  // nothing to go stale when the terminal scrolls or is resized.
  void moveToColumn(int column) override {
    if (!outputIsTerminal_) return;
    write(column > 1 ? "\r\x1b[" + std::to_string(column - 1) + "C" : std::string("\r"));
  }

  void moveRows(int rows) override {
    if (!outputIsTerminal_ || rows == 0) return;
    write("\x1b[" + std::to_string(rows < 0 ? -rows : rows) + (rows < 0 ? "A" : "B"));
  }

  std::optional<WindowSize> windowSize() override {
    winsize size{};
    if (!outputIsTerminal_ || ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 ||
        size.ws_row == 0) {
      return std::nullopt;
    }
    return WindowSize{size.ws_col, size.ws_row};
  }

  unsigned windowChanges() override { return posix::windowChanges(); }

 private:
  // Reads what standard input has within timeoutMs (-1: wait as long as it
  // takes). False when nothing came; at the end of input ended_ is set.
  bool fill(int timeoutMs) {
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    int ready = 0;
    do {
      ready = poll(&fd, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return false;
    if (ready < 0) {
      // Standard input cannot be waited on: no key will ever come.
      ended_ = true;
      return false;
    }
    char buffer[256];
    ssize_t n = 0;
    do {
      n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
      // End of file, a hung-up terminal or a closed descriptor alike.
      ended_ = true;
      return false;
    }
    input_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  // Moves the first key at the front of input_ to keys_, or drops what is
  // no key.
  void takeFromInput() {
    auto decoded = posix::decodeTerminalInput(input_, !ended_);
    if (decoded.kind == TerminalInput::Kind::NeedMore) {
      if (fill(static_cast<int>(kSequenceWait.count()))) return;  // decode again with more
      decoded = posix::decodeTerminalInput(input_, false);
    }
    input_.erase(0, decoded.length);
    if (decoded.kind == TerminalInput::Kind::Key) keys_.push_back(decoded.key);
  }

  // Takes the first cursor report out of input_, leaving the keys typed
  // around it for readKey.
  std::optional<CursorPosition> takeCursorReport() {
    std::size_t at = 0;
    while (at < input_.size()) {
      const auto decoded = posix::decodeTerminalInput(std::string_view(input_).substr(at), true);
      if (decoded.kind == TerminalInput::Kind::NeedMore) return std::nullopt;
      if (decoded.kind == TerminalInput::Kind::CursorReport) {
        input_.erase(at, decoded.length);
        return decoded.position;
      }
      at += decoded.length;
    }
    return std::nullopt;
  }

  bool outputIsTerminal_;
  bool canAskCursor_;
  bool ended_ = false;
  std::string input_;     // bytes read, not yet decoded
  std::deque<Key> keys_;  // decoded keys not yet handed out
};

}  // namespace

Console& systemConsole() {
  static TerminalConsole console;
  return console;
}

}  // namespace voren
