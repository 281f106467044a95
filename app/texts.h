#pragma once
// The operator's texts, composed from their printf-style formats.
#include <string>

#include "link/result_codes.h"

namespace voren {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// The end report's description of a result code.
const char* opisBledu(ResultCode kod);

}  // namespace voren
