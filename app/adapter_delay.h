#pragma once
// The line after the end report that names what the printer's slow answers
// cost the update: a USB serial adapter's delay, with where the operator
// removes it, or only that the answers came late where there is no timer
// to shorten.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "link/answer_waits.h"
#include "platform/win32/adapter_latency.h"
#include "platform/win32/com_ports.h"

namespace voren {

// Worth naming above this wait. A printer answers within a millisecond, a
// USB adapter at its quickest (a 1 ms latency timer, 1 ms USB frames) adds
// one or two; the usual default of 16 ms is far above. At 3 ms the update's
// 432 answers cost 1.3 s, an eighth of its 11 s on the line.
inline constexpr std::chrono::microseconds kAdapterDelayBound{3000};
// A median of fewer answers than three blocks bring is a guess: one slow
// first answer is a printer waking up or a busy computer, not an adapter.
inline constexpr std::size_t kAdapterDelaySample = 9;

// Whether the answers were held back alike, as an adapter's timer holds
// them: nine in ten waited beyond the bound, and the quickest tenth at least
// half as long as the median. A computer short of CPU leaves many answers
// quick and holds others by whole scheduler slices, one or several.
bool answersDelayed(const AnswerWaits& waits);

// The line for delayed answers on a port named portName ("COM3", or a
// device path), described as the system describes it, with its adapter's
// timer where it has one. Advice only where there is a timer to shorten.
std::string answerDelayLine(const AnswerWaits& waits, const std::string& portName,
                            const PortDescription& description, const AdapterLatency& adapter);

// The line for this run's answers on COMn, named portName, when they were
// delayed; the port is looked up only then.
std::optional<std::string> adapterDelayReport(std::uint8_t port, const std::string& portName);

}  // namespace voren
