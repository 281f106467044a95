#include "app/report/json_report.h"

#include "app/adapter_delay.h"
#include "app/report/json_events.h"
#include "app/report/line_console.h"
#include "app/report/run_outputs.h"
#include "app/station/station_view.h"
#include "link/answer_waits.h"
#include "link/link_state.h"
#include "link/wire_trace.h"
#include "platform/console/keyboard.h"

namespace voren {

JsonReport::JsonReport(std::string port, Emit emit, UpdateWatcher* next)
    : port_(std::move(port)), emit_(std::move(emit)), next_(next) {}

void JsonReport::portRefused(PortRefusal why) {
  refused_ = why;
  if (next_) next_->portRefused(why);
}

void JsonReport::portOpened() {
  opened_ = true;
  emit_(portOpenedEvent(port_));
  if (next_) next_->portOpened();
}

void JsonReport::blockTaken(std::uint32_t block, int percent) {
  emit_(progressEvent(port_, block, percent));
  if (next_) next_->blockTaken(block, percent);
}

// A station's copy leaves the note to the station, which makes it of the line.
void JsonReport::answersLate(const std::string& line) {
  if (next_) {
    next_->answersLate(line);
  } else {
    emit_(noteEvent(port_, line));
  }
}

void JsonReport::blockRepeated(std::uint32_t block, std::uint8_t status) {
  emit_(repeatEvent(port_, block, status));
  if (next_) next_->blockRepeated(block, status);
}

bool JsonReport::stopRequested() { return next_ && next_->stopRequested(); }

void JsonReport::finish(int status) {
  PortEnd end;
  end.text = endTextOf(screen_);
  end.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  if (refused_) emit_(portRefusedEvent(port_, *refused_, end.text));
  if (status == kUpdated) {
    end.outcome = PortOutcome::Updated;
  } else if (status == kUpdateStopped) {
    end.outcome = PortOutcome::Stopped;
  }
  // A stopped upload has no result of its own: the link's code is that of
  // the last block taken.
  if (opened_ && end.outcome != PortOutcome::Stopped) {
    end.code = static_cast<int>(linkState().resultCode);
  }
  if (const AnswerWaits waits = answerWaits(); opened_ && waits.count > 0) {
    end.medianWaitMs = std::chrono::duration<double, std::milli>(waits.median).count();
  }
  emit_(endEvent(port_, end));
}

int updateWithJson(UpdateSettings settings, const std::optional<std::string>& fontFile,
                   const std::optional<std::string>& traceFile) {
  const std::string port = settings.port ? settings.port->name : std::string();
  writeJsonLine(startEvent({port}, fontFile));
  JsonReport report(port, writeJsonLine);
  LineConsole console([&](const std::string& line) { report.screenLine(line); });
  Keyboard keyboard(console);
  settings.watcher = &report;
  const int status = AktualizacjaStronyKodowej(console, keyboard, settings);
  console.flush();
  // The trace's last lines are written as it stops: only then is it known whole.
  stopWireTrace();
  // As a station's note of it reads: the line its copy wrote on standard error.
  if (const auto why = traceNotWhole(traceFile)) {
    writeJsonLine(noteEvent(port, "voren-cp852: " + *why));
  }
  report.finish(status);
  return status;
}

}  // namespace voren
