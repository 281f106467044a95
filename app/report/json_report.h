#pragma once
// One port's unattended update told as the events of app/report/json_events.h:
// on standard output for a script (--json), or to the station, which
// passes them on in its own --json run.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/updater.h"

namespace voren {

class JsonReport final : public UpdateWatcher {
 public:
  using Emit = std::function<void(const std::string& line)>;
  // port as the texts name it; next, when there is one, hears everything
  // too and says whether to stop.
  JsonReport(std::string port, Emit emit, UpdateWatcher* next = nullptr);

  // A line the update wrote to its console: the end's text is made of them.
  void screenLine(const std::string& line) { screen_.push_back(line); }
  // After the update returned status: why the port was not used, if it was
  // not, then the port's end.
  void finish(int status);

  void portRefused(PortRefusal why) override;
  void portOpened() override;
  void blockTaken(std::uint32_t block, int percent) override;
  void blockRepeated(std::uint32_t block, std::uint8_t status) override;
  void answersLate(const std::string& line) override;
  bool stopRequested() override;

 private:
  std::string port_;
  Emit emit_;
  UpdateWatcher* next_;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  bool opened_ = false;
  std::optional<PortRefusal> refused_;
  std::vector<std::string> screen_;
};

// The unattended update of settings.port with its events on standard
// output, beginning with the start (fontFile: where the table came from,
// none for the built-in one); the update's status. A trace (traceFile)
// not written whole is a note before the end; the trace is stopped then.
int updateWithJson(UpdateSettings settings, const std::optional<std::string>& fontFile,
                   const std::optional<std::string>& traceFile);

}  // namespace voren
