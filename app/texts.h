#pragma once
// The operator's texts, composed from their printf-style formats.
#include <string>

namespace voren {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// The end report's description of a result code.
const char* opisBledu(int kod);

}  // namespace voren
