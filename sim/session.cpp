#include "sim/session.h"

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "sim/latency_timer.h"
#include "sim/line_pacer.h"
#include "sim/printer.h"
#include "sim/receipt.h"
#include "sim/report.h"

namespace voren::sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// After a complete update the printer waits this long for the peer to close
// before --exit-after-update ends it anyway.
constexpr auto kLingerAfterUpdate = std::chrono::seconds(5);
// While nobody holds the slave open the master reports a hang-up at once;
// look again this often rather than spin.
constexpr auto kNoPeerPoll = milliseconds(50);

// To the microsecond: an adapter's timer that ran out is due now, not at the
// next whole millisecond.
timespec timeUntil(Clock::time_point deadline) {
  const auto left = std::max<long long>(
      0, std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count());
  return {static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
}

class Session {
 public:
  Session(SimOptions options, Pty& pty, int stopFd,
          const std::function<void(const std::string&)>& report)
      : options_(std::move(options)),
        pty_(pty),
        stopFd_(stopFd),
        report_(report),
        printer_(std::move(options_.faults), report, options_.verbose),
        pacer_(options_.baud),
        adapter_(milliseconds(options_.latencyTimerMs)) {
    if (options_.hangUpAfter) printer_.hangUpAfter(options_.hangUpAfter);
    // The kernel may otherwise let each paced answer's timer run 50 us late,
    // some 20 ms over an update's 432 answers.
    if (options_.baud != 0) prctl(PR_SET_TIMERSLACK, 1UL);
    if (options_.lifetimeSeconds) {
      lifetimeEnd_ = Clock::now() + std::chrono::seconds(options_.lifetimeSeconds);
    }
  }

  int run() {
    while (!stopping_) step();
    finish();
    return 0;
  }

 private:
  void step() {
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(1);
    if (printer_.inCommand()) deadline = std::min(deadline, lastByte_ + frameGap());
    if (lifetimeEnd_) deadline = std::min(deadline, *lifetimeEnd_);
    if (lingerEnd_) deadline = std::min(deadline, *lingerEnd_);
    if (const auto due = adapter_.due()) deadline = std::min(deadline, *due);

    pollfd fds[2] = {{stopFd_, POLLIN, 0}, {pty_.fd(), POLLIN, 0}};
    const timespec timeout = timeUntil(deadline);
    int ready = ::ppoll(fds, 2, &timeout, nullptr);
    if (ready < 0 && errno != EINTR) {
      report_(std::string("poll: ") + std::strerror(errno));
      stopping_ = true;
      return;
    }
    if (fds[0].revents) {
      report_("stopped by signal");
      stopping_ = true;
      return;
    }
    if (fds[1].revents & POLLIN) {
      readLine();
    } else if (fds[1].revents & (POLLHUP | POLLERR)) {
      peerGone();
    }
    checkClocks();
  }

  Clock::duration frameGap() const { return milliseconds(options_.frameGapMs); }

  void readLine() {
    std::uint8_t buffer[512];
    ssize_t count = ::read(pty_.fd(), buffer, sizeof buffer);
    if (count < 0) {
      // EIO: the last holder of the slave closed it.
      if (errno == EIO) peerGone();
      return;
    }
    lastByte_ = Clock::now();
    peerTalked_ = true;
    for (ssize_t i = 0; i < count && !stopping_ && pty_.open(); ++i) {
      pacer_.received(1, lastByte_);
      answer(printer_.receive(buffer[i]));
    }
  }

  void answer(const SimulatedPrinter::Reply& reply) {
    for (std::uint8_t byte : reply.bytes) {
      if (!send(byte, pacer_.nextSend(Clock::now()))) return;
    }
    if (reply.hangUp) {
      // The adapter passes on what it holds before the line drops.
      if (adapter_.due()) writeOut(adapter_.release());
      report_("hanging up the line");
      pty_.hangUp();
      stopping_ = true;
    }
  }

  // The byte reaches the other side at that time, or an adapter there takes
  // it then; false when a stop signal came first.
  bool send(std::uint8_t byte, Clock::time_point at) {
    // The adapter's timer may run out while the line still brings more.
    if (const auto due = adapter_.due(); due && *due <= at) {
      if (!waitUntil(*due)) return false;
      writeOut(adapter_.release());
    }
    if (!waitUntil(at)) return false;
    if (!adapter_.present()) {
      writeOut({byte});
    } else if (adapter_.hold(byte, at)) {
      writeOut(adapter_.release());
    }
    return true;
  }

  void writeOut(const std::vector<std::uint8_t>& bytes) {
    const auto size = static_cast<ssize_t>(bytes.size());
    if (::write(pty_.fd(), bytes.data(), bytes.size()) != size) {
      report_(std::string("write: ") + std::strerror(errno));
    }
  }

  // Sleeps until the time comes or a stop signal arrives (false then). To
  // the microsecond: a poll rounded up to whole milliseconds would hold each
  // answer up to 2 ms past its time, a tenth of the line's time per update.
  bool waitUntil(Clock::time_point when) {
    for (auto now = Clock::now(); now < when; now = Clock::now()) {
      const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(when - now).count();
      const timespec timeout{static_cast<time_t>(left / 1'000'000'000),
                             static_cast<long>(left % 1'000'000'000)};
      pollfd stop = {stopFd_, POLLIN, 0};
      if (::ppoll(&stop, 1, &timeout, nullptr) > 0) {
        report_("stopped by signal");
        stopping_ = true;
        return false;
      }
    }
    return true;
  }

  void peerGone() {
    if (peerTalked_) {
      printer_.abandonCommand("the peer closed the line");
      report_("the peer closed the line");
      peerTalked_ = false;
      if (options_.exitOnClose || (options_.exitAfterUpdate && lingerEnd_)) {
        stopping_ = true;
        return;
      }
    }
    pollfd stop = {stopFd_, POLLIN, 0};
    ::poll(&stop, 1, static_cast<int>(kNoPeerPoll.count()));
  }

  void checkClocks() {
    Clock::time_point now = Clock::now();
    if (const auto due = adapter_.due(); due && now >= *due) writeOut(adapter_.release());
    if (printer_.inCommand() && now - lastByte_ >= frameGap()) {
      printer_.abandonCommand("the line went quiet");
    }
    if (printer_.stats().updatesCompleted > updatesSeen_) {
      updatesSeen_ = printer_.stats().updatesCompleted;
      report_("update complete: all 144 blocks stored");
      writeOutputs();
      if (options_.exitAfterUpdate) lingerEnd_ = now + kLingerAfterUpdate;
    }
    if ((lifetimeEnd_ && now >= *lifetimeEnd_) || (lingerEnd_ && now >= *lingerEnd_)) {
      stopping_ = true;
    }
  }

  void writeOutputs() {
    std::string error;
    if (!options_.dump.empty() && !writeFileAtomically(options_.dump, printer_.memory(), &error)) {
      report_(error);
    }
    if (!options_.render.empty() && !writeReceipt(printer_.memory(), options_.render, &error)) {
      report_("receipt: " + error);
    }
  }

  void finish() {
    writeOutputs();
    report_(summaryLine(printer_.stats()));
  }

  SimOptions options_;
  Pty& pty_;
  int stopFd_;
  const std::function<void(const std::string&)>& report_;
  SimulatedPrinter printer_;
  LinePacer pacer_;
  LatencyTimer adapter_;
  bool stopping_ = false;
  bool peerTalked_ = false;
  int updatesSeen_ = 0;
  Clock::time_point lastByte_ = Clock::now();
  std::optional<Clock::time_point> lifetimeEnd_;
  std::optional<Clock::time_point> lingerEnd_;
};

}  // namespace

int runSession(SimOptions options, Pty& pty, int stopFd,
               const std::function<void(const std::string&)>& report) {
  return Session(std::move(options), pty, stopFd, report).run();
}

}  // namespace voren::sim
