#pragma once
// What the station tells the operator while its ports run: the one seam
// between watching the children and showing them. The screen
// (app/station/station_screen.h) is one way to show it.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/station/rerun.h"

namespace voren {

enum class PortOutcome { Updated, Failed, Stopped };

// How a port ended.
struct PortEnd {
  PortOutcome outcome = PortOutcome::Failed;
  // Updated, but an output of the port's run (its trace) is not whole.
  bool outputIncomplete = false;
  // The text its line ends with: the single-port run's end report, or why
  // there is none.
  std::string text;
  // The link's result code; none when the port never opened, or it stopped.
  std::optional<int> code = std::nullopt;
  double seconds = 0;
  // The median of the printer's answer waits, when it answered at all.
  std::optional<double> medianWaitMs = std::nullopt;
};

// A run's screen lines as one PortEnd text, as the station's summary shows it.
inline std::string endTextOf(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += (text.empty() ? "" : " ") + line;
  return text;
}

class StationView {
 public:
  virtual ~StationView() = default;

  // The ports, named as given (RunPort::name), in the order given, as their
  // children are about to start. Ports are numbered by this order below.
  virtual void started(const std::vector<std::string>& ports) = 0;
  // A port's percentage has risen: 0 to 100, told at most once a look.
  virtual void progress(std::size_t port, int percent) = 0;
  // A port has ended; nothing more comes for it but notes.
  virtual void ended(std::size_t port, const PortEnd& end) = 0;
  // A line from a port's child that is no progress and no report, or why
  // it could not be started: shown after the summary.
  virtual void note(std::size_t port, const std::string& text) = 0;
  // An event of a port's run as its child wrote it (app/report/json_events.h),
  // with --json only; the port's end comes by ended().
  virtual void event(std::size_t port, const std::string& json) = 0;
  // Every port has ended: the summary, with the exit status and the command
  // that updates the ports not updated (empty when there are none).
  virtual void finished(int status, const RerunCommand& rerun) = 0;
};

}  // namespace voren
