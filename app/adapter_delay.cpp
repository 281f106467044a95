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
  std::string line =
      format("Adapter portu %s opoznia odpowiedzi drukarki o %lld ms", portName.c_str(), medianMs);
  if (adapter.timerMs) line += format(" (latency timer %u ms)", *adapter.timerMs);
  line += format(", ta aktualizacja trwala przez to o %lld,%lld s dluzej. ", costTenths / 10,
                 costTenths % 10);
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

}  // namespace voren
