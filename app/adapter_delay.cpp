#include "app/adapter_delay.h"

#include "app/texts.h"

namespace voren {

bool adapterDelayed(const AnswerWaits& waits) {
  return waits.count >= kAdapterDelaySample && waits.median > kAdapterDelayBound;
}

std::string adapterDelayLine(const AnswerWaits& waits, const std::string& portName,
                             const AdapterLatency& adapter) {
  const long long medianMs = (waits.median.count() + 500) / 1000;
  // The adapter holds every answer alike; the median leaves out the few a
  // busy computer or printer held longer.
  const long long costTenths =
      (waits.median.count() * static_cast<long long>(waits.count) + 50'000) / 100'000;
  std::string line = "Adapter portu " + portName + " opoznia odpowiedzi drukarki o " +
                     std::to_string(medianMs) + " ms";
  if (adapter.timerMs) line += " (latency timer " + std::to_string(*adapter.timerMs) + " ms)";
  line += ", ta aktualizacja trwala przez to o " + std::to_string(costTenths / 10) + "," +
          std::to_string(costTenths % 10) + " s dluzej. ";
  switch (adapter.setting) {
    case AdapterLatency::Setting::PortProperties:
      line += format("Ustaw 1 ms: Menedzer urzadzen, %s, Ustawienia portu, Zaawansowane.",
                     portName.c_str());
      break;
    case AdapterLatency::Setting::SysfsFile:
      if (adapter.file.empty()) {
        line += "Ustaw latency timer adaptera na 1 ms (README: opoznienie adaptera).";
      } else {
        line += format("Ustaw 1 ms jako root: echo 1 > %s", adapter.file.c_str());
      }
      break;
  }
  return line;
}

std::optional<std::string> adapterDelayReport(std::uint8_t port, const std::string& portName) {
  const AnswerWaits waits = answerWaits();
  if (!adapterDelayed(waits)) return std::nullopt;
  return adapterDelayLine(waits, portName, adapterLatency(port));
}

}  // namespace voren
