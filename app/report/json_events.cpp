#include "app/report/json_events.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/files/standard_output.h"

namespace voren {

namespace {

using Json = nlohmann::ordered_json;

// Never throws: a byte that is not UTF-8 becomes U+FFFD, so a line always
// parses.
std::string line(const Json& event) {
  return event.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json event(const char* name, std::string_view port) {
  return Json{{"event", name}, {"port", port}};
}

// Milliseconds are what a script compares; finer is noise.
double thousandths(double value) { return std::round(value * 1000) / 1000; }

const char* refusalName(PortRefusal why) {
  switch (why) {
    case PortRefusal::Missing:
      return "missing";
    case PortRefusal::InUse:
      return "in-use";
    case PortRefusal::NoPermission:
      return "no-permission";
    case PortRefusal::CannotOpen:
      break;
  }
  return "cannot-open";
}

constexpr std::pair<PortOutcome, const char*> kOutcomes[] = {
    {PortOutcome::Updated, "updated"},
    {PortOutcome::Failed, "failed"},
    {PortOutcome::Stopped, "stopped"},
};

const char* outcomeName(PortOutcome outcome) {
  for (const auto& [value, name] : kOutcomes) {
    if (value == outcome) return name;
  }
  return "failed";
}

// A field read without throwing: value() would, on a field of another type.
std::string stringAt(const Json& e, const char* key) {
  const auto field = e.find(key);
  return field != e.end() && field->is_string() ? field->get<std::string>() : std::string();
}

}  // namespace

std::string startEvent(const std::vector<std::string>& ports,
                       const std::optional<std::string>& fontFile) {
  const Json font =
      fontFile ? Json{{"source", "file"}, {"path", *fontFile}} : Json{{"source", "built-in"}};
  return line({{"event", "start"}, {"version", VOREN_VERSION}, {"ports", ports}, {"font", font}});
}

std::string portOpenedEvent(std::string_view port) {
  Json e = event("port", port);
  e["opened"] = true;
  return line(e);
}

std::string portRefusedEvent(std::string_view port, PortRefusal why, std::string_view text) {
  Json e = event("port", port);
  e["opened"] = false;
  e["reason"] = refusalName(why);
  e["text"] = text;
  return line(e);
}

std::string progressEvent(std::string_view port, std::uint32_t block, int percent) {
  Json e = event("progress", port);
  e["block"] = block;
  e["percent"] = percent;
  return line(e);
}

std::string repeatEvent(std::string_view port, std::uint32_t block, std::uint8_t status) {
  Json e = event("repeat", port);
  e["block"] = block;
  e["status"] = status;
  return line(e);
}

std::string endEvent(std::string_view port, const PortEnd& end) {
  Json e = event("end", port);
  e["outcome"] = outcomeName(end.outcome);
  e["code"] = end.code ? Json(*end.code) : Json(nullptr);
  e["text"] = end.text;
  e["seconds"] = thousandths(end.seconds);
  e["median_wait_ms"] = end.medianWaitMs ? Json(thousandths(*end.medianWaitMs)) : Json(nullptr);
  return line(e);
}

std::string noteEvent(std::string_view port, std::string_view text) {
  Json e = event("note", port);
  e["text"] = text;
  return line(e);
}

std::string summaryEvent(const StationSummary& summary, int ports) {
  return line({{"event", "summary"},
               {"updated", summary.updated},
               {"ports", ports},
               {"not_updated", summary.notUpdated},
               {"status", summary.status},
               {"rerun", summary.rerun.empty() ? Json(nullptr) : Json(summary.rerun)}});
}

std::string listedPort(const ComPort& port) {
  const auto known = [](const std::string& text) { return text.empty() ? Json() : Json(text); };
  const PortDescription& d = port.description;
  return line({{"port", port.number != 0 ? Json("COM" + std::to_string(port.number)) : Json()},
               {"number", port.number != 0 ? Json(port.number) : Json()},
               {"device", known(port.device)},
               {"description",
                {{"driver", known(d.driver)},
                 {"vendor_id", known(d.vendorId)},
                 {"product_id", known(d.productId)},
                 {"manufacturer", known(d.manufacturer)},
                 {"product", known(d.product)},
                 {"serial", known(d.serial)},
                 {"location", known(d.location)},
                 {"by_id", known(d.byId)},
                 {"friendly_name", known(d.friendlyName)}}}});
}

bool isEventObject(std::string_view text) {
  const Json e = Json::parse(text, nullptr, false);
  return e.is_object() && !stringAt(e, "event").empty();
}

// One write for the line and its end: a line that does not arrive whole is
// a failed write, never a line cut short unnoticed.
void writeJsonLine(const std::string& line) {
  std::string text = line;
  text += lineEnd();
  writeStandardOutput(text);
}

std::optional<PortEnd> readEndEvent(std::string_view text) {
  const Json e = Json::parse(text, nullptr, false);
  if (!e.is_object() || stringAt(e, "event") != "end") return std::nullopt;
  PortEnd end;
  const std::string outcome = stringAt(e, "outcome");
  for (const auto& [value, name] : kOutcomes) {
    if (outcome == name) end.outcome = value;
  }
  if (const auto code = e.find("code"); code != e.end() && code->is_number_integer()) {
    end.code = code->get<int>();
  }
  end.text = stringAt(e, "text");
  if (const auto seconds = e.find("seconds"); seconds != e.end() && seconds->is_number()) {
    end.seconds = seconds->get<double>();
  }
  if (const auto wait = e.find("median_wait_ms"); wait != e.end() && wait->is_number()) {
    end.medianWaitMs = wait->get<double>();
  }
  return end;
}

}  // namespace voren
