#pragma once
// Unit settings a port object reads: the parity it takes when created and
// whether output waits for CTS at every application of the line settings.
#include <cstdint>

namespace winseria {

struct UnitSettings {
  uint8_t ParitySetting = 2;  // 0 none, 1 odd, any other value even
  uint8_t CtsSetting = 1;
};

UnitSettings& unitSettings();

}  // namespace winseria
