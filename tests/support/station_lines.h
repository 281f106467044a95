#pragma once
// Reading the station's port lines off a screen: "NAME  PP%  END", where a
// name too long for the window is shown as "..." and its end, and the line
// may be cut at the window's edge.
#include <optional>
#include <string>
#include <vector>

namespace voren::test {

struct PortLineShown {
  std::string name;  // as shown
  int percent = 0;
  std::string end;  // as shown, perhaps cut
};

std::optional<PortLineShown> readPortLine(const std::string& line);

// Whether a name as shown stands for the port.
bool showsPort(const std::string& shownName, const std::string& port);

// The lines of screen that show port, in order.
std::vector<PortLineShown> linesOfPort(const std::vector<std::string>& screen,
                                       const std::string& port);

}  // namespace voren::test
