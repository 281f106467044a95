#include "app/station/station_screen.h"

#include <algorithm>
#include <set>

#include "app/dialogue.h"
#include "app/screen_text.h"
#include "app/texts.h"

namespace voren {
namespace {

// A shortened name keeps this much at least, dots included.
constexpr std::size_t kShortestName = 12;

// The name in at most width characters: "..." and its end when too long.
std::string shortened(const std::string& name, std::size_t width) {
  if (name.size() <= width) return name;
  return "..." + name.substr(name.size() - (width - 3));
}

// The text in at most room characters, cut short of a number it would cut
// inside ("Blad nr 2" is another error, "COM1" another port) and of the
// blanks before the cut.
std::string cutOutsideNumbers(const std::string& text, std::size_t room) {
  if (text.size() <= room) return text;
  const auto digit = [&](std::size_t at) { return text[at] >= '0' && text[at] <= '9'; };
  std::size_t cut = room;
  while (cut > 0 && digit(cut) && digit(cut - 1)) --cut;
  while (cut > 0 && text[cut - 1] == ' ') --cut;
  return text.substr(0, cut);
}

}  // namespace

StationScreen::StationScreen(Console& console) : console_(console) {}

void StationScreen::started(const std::vector<std::string>& ports) {
  printBanner(console_);
  for (const auto& name : ports) {
    ports_.emplace_back();
    ports_.back().name = screenText(name);
    nameWidth_ = std::max(nameWidth_, ports_.back().name.size());
  }
  // Names of one model share their end too: keep as much of each as tells
  // them apart, however narrow the window.
  shortestName_ = std::min(kShortestName, nameWidth_);
  while (shortestName_ < nameWidth_) {
    std::set<std::string> shown;
    for (const auto& port : ports_) shown.insert(shortened(port.name, shortestName_));
    if (shown.size() == ports_.size()) break;
    ++shortestName_;
  }
  cursorKnown_ = console_.cursor().has_value();
  windowChanges_ = console_.windowChanges();
  size_ = console_.windowSize();
  // The cursor waits on the row below the block, so that row must fit too.
  inPlace_ = cursorKnown_ && (!size_ || ports_.size() < static_cast<std::size_t>(size_->rows));
  writeBlock();
}

void StationScreen::progress(std::size_t port, int percent) {
  ports_[port].percent = percent;
  followWindow();
  show(port);
}

void StationScreen::ended(std::size_t port, const PortEnd& end) {
  ports_[port].end = end;
  // A child tells its end in its own words: shown as any text the screen shows.
  ports_[port].end->text = screenText(end.text);
  followWindow();
  show(port);
}

void StationScreen::note(std::size_t port, const std::string& text) {
  ports_[port].notes.push_back(screenText(text));
}

void StationScreen::event(std::size_t, const std::string&) {}

void StationScreen::finished(int, const RerunCommand& rerun) {
  followWindow();
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
  // Last, whole on its own line, so it can be copied as it stands: the
  // shown spelling has nothing the filter takes away.
  if (!rerun.shown.empty()) {
    console_.write("Aby zaktualizowac tylko te drukarki, uruchom:\n" + screenText(rerun.shown) +
                   "\n");
  }
}

// The port's line with a percentage, and with the end text once it has
// ended. A name too long for its share of the window keeps its end, where
// device names differ (by-id names share their start), and no less than
// tells the ports apart. The line is cut one short of the window's width: a
// console that wraps at once on the last column would move the cursor to
// the next row. A number cut short would read as another, so the percentage
// is shown whole or not at all and nothing else is cut inside a number.
// Within one width a line is never shorter than the one before it,
// so each covers the last.
std::string StationScreen::line(const PortLine& port, int percent, bool withEnd) const {
  std::size_t column = nameWidth_;
  if (size_) column = std::min(column, std::max<std::size_t>(shortestName_, size_->columns / 2));
  const std::string name = shortened(port.name, column);
  const std::string text = name + std::string(column - name.size(), ' ');
  const std::size_t room = size_ ? static_cast<std::size_t>(size_->columns - 1) : std::string::npos;
  const std::string shown = format(" %3d%%", percent);
  if (text.size() + shown.size() > room) return cutOutsideNumbers(text, room);
  if (!withEnd || !port.end) return text + shown;
  return cutOutsideNumbers(text + shown + "  " + port.end->text, room);
}

void StationScreen::writeBlock() {
  for (auto& port : ports_) {
    console_.write(line(port, port.percent, true) + "\n");
    port.shownPercent = port.percent;
  }
}

// A window that was resized, or a terminal the shell wrote on while the
// process was stopped, no longer shows the block where it was written:
// the window is wiped and the block drawn again, in place when it fits the
// rows, otherwise appended to from then on.
void StationScreen::followWindow() {
  const unsigned changes = console_.windowChanges();
  const auto size = console_.windowSize();
  if (changes == windowChanges_ && size == size_) return;
  windowChanges_ = changes;
  size_ = size;
  if (!cursorKnown_) return;  // appended lines, cut to the new width from now on
  const bool fits = !size_ || ports_.size() < static_cast<std::size_t>(size_->rows);
  // Appended lines were true when written and stay where they are, until
  // the block fits again.
  if (!inPlace_ && !fits) return;
  inPlace_ = fits;
  console_.clear();
  writeBlock();
}

// Rewrites the port's line in place; otherwise appends it at each tenth it
// has passed and at its end, as the single-port log does.
void StationScreen::show(std::size_t port) {
  PortLine& p = ports_[port];
  if (inPlace_) {
    const int up = static_cast<int>(ports_.size() - port);
    console_.moveRows(-up);
    console_.moveToColumn(1);
    console_.write(line(p, p.percent, true));
    console_.moveRows(up);
    console_.moveToColumn(1);
  } else {
    // Every tenth passed since the last look, whatever the percentage now:
    // the log reads the same however often the station looks. 100 comes
    // with the end report, on the line that ends the port.
    for (int t = p.shownPercent / 10 + 1; t <= p.percent / 10 && t < 10; ++t) {
      console_.write(line(p, t * 10, false) + "\n");
    }
    if (p.end) console_.write(line(p, p.percent, true) + "\n");
  }
  p.shownPercent = p.percent;
}

}  // namespace voren
