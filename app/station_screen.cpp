#include "app/station_screen.h"

#include <algorithm>

#include "app/dialogue.h"
#include "app/texts.h"
#include "platform/console/console.h"

namespace voren {

StationScreen::StationScreen(Console& console) : console_(console) {}

void StationScreen::started(const std::vector<std::string>& ports) {
  printBanner(console_);
  inPlace_ = console_.cursor().has_value();
  for (const auto& name : ports) nameWidth_ = std::max(nameWidth_, name.size());
  for (const auto& name : ports) {
    ports_.emplace_back();
    ports_.back().name = name;
    console_.write(line(ports_.back()) + "\n");
  }
}

void StationScreen::progress(std::size_t port, int percent) {
  ports_[port].percent = percent;
  show(port);
}

void StationScreen::ended(std::size_t port, const PortEnd& end) {
  ports_[port].end = end;
  show(port);
}

void StationScreen::note(std::size_t port, const std::string& text) {
  ports_[port].notes.push_back(text);
}

void StationScreen::finished() {
  const auto updated = std::count_if(ports_.begin(), ports_.end(), [](const PortLine& p) {
    return p.end && p.end->outcome == PortOutcome::Updated;
  });
  console_.write(format("\nZaktualizowano %d z %d drukarek.\n", static_cast<int>(updated),
                        static_cast<int>(ports_.size())));
  if (updated < static_cast<long>(ports_.size())) console_.write("Nie zaktualizowano:\n");
  for (const auto& port : ports_) {
    if (port.end && port.end->outcome != PortOutcome::Updated) {
      console_.write("  " + port.name + ": " + port.end->text + "\n");
    }
  }
  for (const auto& port : ports_) {
    for (const auto& note : port.notes) console_.write(port.name + ": " + note + "\n");
  }
}

// Never shorter than the line before it, so each covers the last.
std::string StationScreen::line(const PortLine& port) const {
  std::string text =
      port.name + std::string(nameWidth_ - port.name.size(), ' ') + format(" %3d%%", port.percent);
  if (port.end) text += "  " + port.end->text;
  return text;
}

// Rewrites the port's line in place; without a cursor to move, appends it
// at each tenth and at its end, as the single-port log does.
void StationScreen::show(std::size_t port) {
  PortLine& p = ports_[port];
  if (inPlace_) {
    const int up = static_cast<int>(ports_.size() - port);
    console_.moveRows(-up);
    console_.moveToColumn(1);
    console_.write(line(p));
    console_.moveRows(up);
    console_.moveToColumn(1);
  } else {
    // Every tenth the port has passed since the last look, whatever the
    // percentage now: the log reads the same however often the station
    // looks. 100 comes with the end report, on the line that ends the port.
    PortLine tenth = p;
    tenth.end.reset();
    for (int t = p.shownPercent / 10 + 1; t <= p.percent / 10 && t < 10; ++t) {
      tenth.percent = t * 10;
      console_.write(line(tenth) + "\n");
    }
    if (p.end) console_.write(line(p) + "\n");
  }
  p.shownPercent = p.percent;
}

}  // namespace voren
