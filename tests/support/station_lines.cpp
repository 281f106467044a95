#include "tests/support/station_lines.h"

#include <regex>

namespace voren::test {

std::optional<PortLineShown> readPortLine(const std::string& line) {
  static const std::regex shape(R"(^(\S+) +(\d+)%(  (.*))?$)");
  std::smatch match;
  if (!std::regex_match(line, match, shape)) return std::nullopt;
  return PortLineShown{match[1], std::stoi(match[2]), match[4]};
}

bool showsPort(const std::string& shownName, const std::string& port) {
  if (shownName == port) return true;
  return shownName.starts_with("...") && shownName.size() > 3 &&
         port.ends_with(shownName.substr(3));
}

std::vector<PortLineShown> linesOfPort(const std::vector<std::string>& screen,
                                       const std::string& port) {
  std::vector<PortLineShown> lines;
  for (const auto& line : screen) {
    if (const auto shown = readPortLine(line); shown && showsPort(shown->name, port)) {
      lines.push_back(*shown);
    }
  }
  return lines;
}

}  // namespace voren::test
