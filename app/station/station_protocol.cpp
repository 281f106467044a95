#include "app/station/station_protocol.h"

#include <charconv>

namespace voren {

namespace {

constexpr std::string_view kProgress = "progress ";
constexpr std::string_view kReport = "report ";
constexpr std::string_view kEvent = "event ";

}  // namespace

StationMessage parseStationLine(std::string_view line) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  const StationMessage note{StationMessage::Kind::Note, 0, std::string(line)};
  if (line.starts_with(kProgress)) {
    const std::string_view number = line.substr(kProgress.size());
    int percent = -1;
    const auto [end, failed] =
        std::from_chars(number.data(), number.data() + number.size(), percent);
    // Anything but a plain percentage is no progress of ours.
    if (failed != std::errc() || end != number.data() + number.size() || percent < 0 ||
        percent > 100) {
      return note;
    }
    return {StationMessage::Kind::Progress, percent, {}};
  }
  if (line.starts_with(kReport)) {
    return {StationMessage::Kind::Report, 0, std::string(line.substr(kReport.size()))};
  }
  if (line.starts_with(kEvent)) {
    return {StationMessage::Kind::Event, 0, std::string(line.substr(kEvent.size()))};
  }
  return note;
}

std::string progressLine(int percent) {
  return std::string(kProgress) + std::to_string(percent) + "\n";
}

std::string reportLine(std::string_view text) {
  return std::string(kReport) + std::string(text) + "\n";
}

std::string eventLine(std::string_view json) {
  return std::string(kEvent) + std::string(json) + "\n";
}

std::vector<std::string> LineSplitter::feed(std::string_view bytes) {
  pending_ += bytes;
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n', start)) {
    lines.push_back(pending_.substr(start, end - start));
    start = end + 1;
  }
  pending_.erase(0, start);
  return lines;
}

std::optional<std::string> LineSplitter::finish() {
  if (pending_.empty()) return std::nullopt;
  std::string last = std::move(pending_);
  pending_.clear();
  return last;
}

}  // namespace voren
