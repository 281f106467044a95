#pragma once
// The station on the operator's console: the banner, a line per port (its
// name, the percentage, then its end text), then the summary and the
// children's notes. The block of port lines is rewritten in place where the
// console can place the cursor and the block fits the window; otherwise a
// port's line is appended at each tenth and at its end. Every port line is
// cut to the window's width; the summary and the notes keep their whole
// texts, and end with the command that updates the ports not updated.
#include <optional>
#include <string>
#include <vector>

#include "app/station/station_view.h"
#include "platform/console/console.h"

namespace voren {

class StationScreen final : public StationView {
 public:
  explicit StationScreen(Console& console);

  void started(const std::vector<std::string>& ports) override;
  void progress(std::size_t port, int percent) override;
  void ended(std::size_t port, const PortEnd& end) override;
  void note(std::size_t port, const std::string& text) override;
  void event(std::size_t port, const std::string& json) override;
  void finished(int status, const RerunCommand& rerun) override;

 private:
  struct PortLine {
    std::string name;
    int percent = 0;
    std::optional<PortEnd> end;
    std::vector<std::string> notes;
    int shownPercent = 0;  // on the screen, or last appended
  };

  std::string line(const PortLine& port, int percent, bool withEnd) const;
  void writeBlock();
  void followWindow();
  void show(std::size_t port);

  Console& console_;
  bool cursorKnown_ = false;
  bool inPlace_ = false;
  std::optional<WindowSize> size_;
  unsigned windowChanges_ = 0;
  std::size_t nameWidth_ = 0;
  std::size_t shortestName_ = 0;  // a shortened name keeps this much at least
  std::vector<PortLine> ports_;
};

}  // namespace voren
