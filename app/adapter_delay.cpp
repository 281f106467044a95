#include "app/adapter_delay.h"

#include "app/texts.h"
#include "platform/win32/usb_adapter.h"

namespace voren {

namespace {

// "6,9": what the delay added to the update, in seconds. The median times
// the answers: the delay holds every answer alike, and the median leaves
// out the few a busy computer or printer held longer.
std::string costSeconds(const AnswerWaits& waits) {
  const long long tenths =
      (waits.median.count() * static_cast<long long>(waits.count) + 50'000) / 100'000;
  return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

std::string medianMs(const AnswerWaits& waits) {
  return std::to_string((waits.median.count() + 500) / 1000);
}

// Where the operator shortens the timer, or nothing when it is as short as
// it goes already.
std::string timerAdvice(const std::string& portName, const AdapterLatency& adapter) {
  switch (adapter.setting) {
    case AdapterLatency::Setting::PortProperties:
      return format("Ustaw 1 ms: Menedzer urzadzen, %s, Ustawienia portu, Zaawansowane.",
                    portName.c_str());
    case AdapterLatency::Setting::SysfsFile:
      if (adapter.file.empty()) {
        return "Ustaw latency timer adaptera na 1 ms (README: opoznienie adaptera).";
      }
      return format("Ustaw 1 ms jako root: echo 1 > %s", adapter.file.c_str());
  }
  return {};
}

}  // namespace

bool answersDelayed(const AnswerWaits& waits) {
  // A timer puts a floor under every answer's wait; a busy computer only adds
  // to it, so the slow end says nothing and the quick end tells.
  return waits.count >= kAdapterDelaySample && waits.tenth > kAdapterDelayBound &&
         waits.tenth >= waits.median / 2;
}

std::string answerDelayLine(const AnswerWaits& waits, const std::string& portName,
                            const PortDescription& description, const AdapterLatency& adapter) {
  const std::string cost =
      ", ta aktualizacja trwala przez to o " + costSeconds(waits) + " s dluzej.";
  // A timer at 1 ms holds an answer no longer than the bound: the delay is
  // not the timer's, and setting what is set helps nobody.
  const bool timerToShorten = !adapter.timerMs || *adapter.timerMs > 1;
  if (!isUsbAdapter(description) || !timerToShorten) {
    return "Odpowiedzi drukarki na porcie " + portName + " przychodza z opoznieniem " +
           medianMs(waits) + " ms" + cost;
  }
  std::string line =
      "Adapter portu " + portName + " opoznia odpowiedzi drukarki o " + medianMs(waits) + " ms";
  if (adapter.timerMs) line += " (latency timer " + std::to_string(*adapter.timerMs) + " ms)";
  return line + cost + " " + timerAdvice(portName, adapter);
}

std::optional<std::string> adapterDelayReport(std::uint8_t port, const std::string& portName) {
  const AnswerWaits waits = answerWaits();
  if (!answersDelayed(waits)) return std::nullopt;
  return answerDelayLine(waits, portName, comPortDescription(port), adapterLatency(port));
}

}  // namespace voren
