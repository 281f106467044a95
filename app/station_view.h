#pragma once
// What the station tells the operator while its ports run: the one seam
// between watching the children and showing them. The screen
// (app/station_screen.h) is one way to show it.
#include <cstddef>
#include <string>
#include <vector>

namespace voren {

enum class PortOutcome { Updated, Failed, Stopped };

// How a port ended.
struct PortEnd {
  PortOutcome outcome = PortOutcome::Failed;
  // Updated, but the port's trace could not be written whole.
  bool traceIncomplete = false;
  // The text its line ends with: the single-port run's end report, or why
  // there is none.
  std::string text;
};

class StationView {
 public:
  virtual ~StationView() = default;

  // The ports, named as the texts name them, in the order given, as their
  // children are about to start. Ports are numbered by this order below.
  virtual void started(const std::vector<std::string>& ports) = 0;
  // A port's percentage has risen: 0 to 100, told at most once a look.
  virtual void progress(std::size_t port, int percent) = 0;
  // A port has ended; nothing more comes for it but notes.
  virtual void ended(std::size_t port, const PortEnd& end) = 0;
  // A line from a port's child that is no progress and no report, or why
  // it could not be started: shown after the summary.
  virtual void note(std::size_t port, const std::string& text) = 0;
  // Every port has ended: the summary.
  virtual void finished() = 0;
};

}  // namespace voren
