#pragma once
// The device link's state: one printer and one port per process, so one
// record. Tests put it back to its start values with resetLinkState().
#include <array>
#include <cstddef>
#include <cstdint>

#include "link/answer_waits.h"
#include "link/port_setup.h"
#include "link/result_codes.h"

namespace voren {

// Frame buffer layout.
inline constexpr std::size_t kFrameSize = 514;
inline constexpr std::size_t kAnswerArea = 2;    // answers land from here, up to 255
inline constexpr std::size_t kKeptStatus = 256;  // status kept by commands 154, 229, 252
inline constexpr std::size_t kSendArea = 258;    // command data goes out from here, up to 512

struct LinkState {
  // Sticky: callers clear it (KodBledu of Brak).
  ResultCode resultCode = KodBledu(ErrorNumber::Brak);
  // 1 when the last byte written or read through the port failed.
  std::uint8_t portError = 0;
  std::array<std::uint8_t, kFrameSize> frame{};
  // Only command 229 looks at it; nothing here sets it.
  std::uint8_t deviceModel = 0;
  std::uint32_t crc = kCrcStart;

  // Port settings, handed to the serial unit when the port is opened.
  std::uint8_t portNumber = 1;
  std::uint32_t speed = 9600;
  std::uint32_t writeTimeoutSeconds = 3;
  std::uint32_t readTimeoutSeconds = 3;
  std::uint8_t parity = 2;  // 0 none, 1 odd, 2 even
  std::uint8_t cts = 1;     // output waits while CTS is off
  std::uint8_t portOpen = 0;
  // The platform's error right after the last probe that found no port,
  // and whether an access denied there kept out this user.
  std::uint32_t probeError = 0;
  bool probeDeniedPermission = false;
  // What the port said when the last byte transfer failed.
  PortFault portFault = PortFault::None;
  // The answers' wait since the port was opened.
  AnswerClock answers;
};

LinkState& linkState();
void resetLinkState();

}  // namespace voren
