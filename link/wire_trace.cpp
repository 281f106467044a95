#include "link/wire_trace.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "link/answer_waits.h"
#include "link/link_state.h"

namespace voren {

namespace {

using Clock = std::chrono::steady_clock;

// One trace per process, like the port it watches.
struct WireTrace {
  std::FILE* file = nullptr;
  Clock::time_point start;
  bool inRun = false;
  WireDirection direction = WireDirection::Out;
  std::string line;  // the run so far: time, direction, bytes
  // A failed call waits for the end of its exchange, when the result code
  // says what the link made of it.
  std::string failure;
  // The first reason the file is not whole; the file is closed then.
  std::string lost;
};

WireTrace& trace() {
  static WireTrace instance;
  return instance;
}

long long microsecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration_cast<std::chrono::microseconds>(to - from).count();
}

void beginLine(WireTrace& t, WireDirection direction, Clock::time_point at) {
  t.line = std::to_string(microsecondsBetween(t.start, at));
  t.line += direction == WireDirection::Out ? " out" : " in";
}

void appendHex(std::string& line, std::uint8_t byte) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  line += ' ';
  line += kDigits[byte >> 4];
  line += kDigits[byte & 0x0F];
}

std::string resultCode() {
  return " code " + std::to_string(static_cast<int>(linkState().resultCode));
}

// Keeps the first failure and drops the file: later lines could only
// pretend to be a whole trace.
void lose(WireTrace& t, const char* what, int error) {
  std::string reason = std::strerror(error);
  if (!reason.empty()) {
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  }
  if (t.lost.empty()) t.lost = std::string(what) + ": " + reason;
  if (t.file != nullptr) std::fclose(t.file);
  t.file = nullptr;
  t.inRun = false;
  t.failure.clear();
}

void put(WireTrace& t, const std::string& text) {
  if (t.file != nullptr && std::fputs(text.c_str(), t.file) == EOF)
    lose(t, "not written completely", errno);
}

// Ends the open run, or the failure line, with the result code as it
// stands. A failure goes to the file at once: a trace is most wanted when
// something went wrong.
void endLine(WireTrace& t) {
  if (t.inRun) {
    t.line += resultCode() + "\n";
    t.inRun = false;
    put(t, t.line);
  }
  if (!t.failure.empty()) {
    t.line += resultCode() + t.failure + "\n";
    t.failure.clear();
    put(t, t.line);
    if (t.file != nullptr && std::fflush(t.file) != 0) lose(t, "not written completely", errno);
  }
}

}  // namespace

bool startWireTrace(const std::string& path) {
  stopWireTrace();
  WireTrace& t = trace();
  t.lost.clear();
  t.file = std::fopen(path.c_str(), "w");
  if (t.file == nullptr) {
    lose(t, "cannot be created", errno);
    return false;
  }
  // Written in large pieces: the trace must not slow the wire it watches.
  std::setvbuf(t.file, nullptr, _IOFBF, 1 << 16);
  t.start = Clock::now();
  put(t,
      "# voren-cp852 wire trace: microseconds since the start, direction, bytes in hex, the "
      "result code when the run ended (0: none so far)\n");
  return true;
}

void stopWireTrace() {
  WireTrace& t = trace();
  if (t.file == nullptr) return;
  endLine(t);
  // Last: what the answers kept the link waiting, beyond the line's own time.
  const AnswerWaits waits = answerWaits();
  // Without an answer there is no wait to give: a median of 0 us would read
  // as one measured.
  std::string summary = "# answers " + std::to_string(waits.count);
  if (waits.count > 0) {
    summary += ", wait median " + std::to_string(waits.median.count()) + " us, tenth " +
               std::to_string(waits.tenth.count()) + " us, largest " +
               std::to_string(waits.largest.count()) + " us";
  }
  put(t, summary + "\n");
  if (t.file == nullptr) return;
  const int closed = std::fclose(t.file);
  const int error = errno;
  t.file = nullptr;
  if (closed != 0) lose(t, "not written completely", error);
}

const std::string& wireTraceFailure() { return trace().lost; }

Clock::time_point wireTraceMark() { return trace().file ? Clock::now() : Clock::time_point{}; }

void wireTraceByte(WireDirection direction, std::uint8_t byte, std::int32_t result,
                   Clock::time_point began) {
  WireTrace& t = trace();
  if (t.file == nullptr) return;
  if (!t.failure.empty() || (t.inRun && t.direction != direction)) endLine(t);
  if (result == 1) {
    if (!t.inRun) {
      beginLine(t, direction, began);
      t.direction = direction;
      t.inRun = true;
    }
    appendHex(t.line, byte);
    return;
  }
  endLine(t);
  beginLine(t, direction, began);
  if (direction == WireDirection::Out) {
    appendHex(t.line, byte);
    t.failure = " not taken";
  } else {
    t.line += " --";
    t.failure = " no byte";
  }
  t.failure += " (failed or timed out) after " +
               std::to_string(microsecondsBetween(began, Clock::now())) + " us";
}

void wireTraceBreak() {
  WireTrace& t = trace();
  if (t.file != nullptr) endLine(t);
}

}  // namespace voren
