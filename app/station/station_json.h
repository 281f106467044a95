#pragma once
// The station for a script (--json): instead of the screen, one JSON
// object a line on standard output. The start, then each port's events as
// its child tells them, each port's end as the station settles it, and the
// summary with the exit status and the command for the ports not updated.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/station/station_view.h"

namespace voren {

class StationJson final : public StationView {
 public:
  using Emit = std::function<void(const std::string& line)>;
  // fontFile: where the table came from, none for the built-in one. The
  // lines go to emit, standard output when none is given.
  explicit StationJson(std::optional<std::string> fontFile, Emit emit = {});

  void started(const std::vector<std::string>& ports) override;
  void progress(std::size_t, int) override {}  // the children's own events say more
  void ended(std::size_t port, const PortEnd& end) override;
  void note(std::size_t port, const std::string& text) override;
  void event(std::size_t port, const std::string& json) override;
  void finished(int status, const RerunCommand& rerun) override;

 private:
  std::optional<std::string> fontFile_;
  Emit emit_;
  std::vector<std::string> ports_;
  std::vector<bool> updated_;
};

}  // namespace voren
