#pragma once
// The line after the end report that names what a USB serial adapter's
// delay cost the update, and where the operator removes it.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "link/answer_waits.h"
#include "platform/win32/adapter_latency.h"

namespace voren {

// Worth naming above this median wait. A printer answers within a
// millisecond, a USB adapter at its quickest (a 1 ms latency timer, 1 ms USB
// frames) adds one or two; the usual default of 16 ms is far above. At 3 ms
// the update's 432 answers cost 1.3 s, an eighth of its 11 s on the line.
inline constexpr std::chrono::microseconds kAdapterDelayBound{3000};
// A median of fewer answers than three blocks bring is a guess: one slow
// first answer is a printer waking up or a busy computer, not an adapter.
inline constexpr std::size_t kAdapterDelaySample = 9;

bool adapterDelayed(const AnswerWaits& waits);

// portName as the operator gave it ("COM3", or a device path).
std::string adapterDelayLine(const AnswerWaits& waits, const std::string& portName,
                             const AdapterLatency& adapter);

// The line for this run's answers on COMn, named portName, when they waited
// long enough to name it; the adapter is looked up only then.
std::optional<std::string> adapterDelayReport(std::uint8_t port, const std::string& portName);

}  // namespace voren
