#include "app/station/station_json.h"

#include "app/report/json_events.h"

namespace voren {

StationJson::StationJson(std::optional<std::string> fontFile, Emit emit)
    : fontFile_(std::move(fontFile)), emit_(emit ? std::move(emit) : Emit(writeJsonLine)) {}

void StationJson::started(const std::vector<std::string>& ports) {
  ports_ = ports;
  updated_.assign(ports.size(), false);
  emit_(startEvent(ports, fontFile_));
}

void StationJson::ended(std::size_t port, const PortEnd& end) {
  updated_[port] = end.outcome == PortOutcome::Updated;
  emit_(endEvent(ports_[port], end));
}

void StationJson::note(std::size_t port, const std::string& text) {
  emit_(noteEvent(ports_[port], text));
}

// A child's line is an event of ours only when it parses as one: the
// station passes on nothing a script could not read.
void StationJson::event(std::size_t, const std::string& json) {
  if (isEventObject(json)) emit_(json);
}

void StationJson::finished(int status, const RerunCommand& rerun) {
  StationSummary summary;
  for (std::size_t i = 0; i < ports_.size(); ++i) {
    if (updated_[i]) {
      ++summary.updated;
    } else {
      summary.notUpdated.push_back(ports_[i]);
    }
  }
  summary.status = status;
  summary.rerun = rerun.exact;
  emit_(summaryEvent(summary, static_cast<int>(ports_.size())));
}

}  // namespace voren
