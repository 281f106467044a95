#pragma once
// The station on the operator's console: the banner, a line per port (its
// name, the percentage, then its end text), rewritten in place where the
// console can place the cursor and appended each tenth where it cannot,
// then the summary and the children's notes.
#include <optional>
#include <string>
#include <vector>

#include "app/station_view.h"

namespace voren {

class Console;

class StationScreen final : public StationView {
 public:
  explicit StationScreen(Console& console);

  void started(const std::vector<std::string>& ports) override;
  void progress(std::size_t port, int percent) override;
  void ended(std::size_t port, const PortEnd& end) override;
  void note(std::size_t port, const std::string& text) override;
  void finished() override;

 private:
  struct PortLine {
    std::string name;
    int percent = 0;
    std::optional<PortEnd> end;
    std::vector<std::string> notes;
    int shownPercent = 0;  // on the screen, or last appended
  };

  std::string line(const PortLine& port) const;
  void show(std::size_t port);

  Console& console_;
  bool inPlace_ = false;
  std::size_t nameWidth_ = 0;
  std::vector<PortLine> ports_;
};

}  // namespace voren
