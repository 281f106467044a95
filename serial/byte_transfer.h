#pragma once
// The caller's side of a one-byte transfer: hands the byte to the transfer
// worker and blocks until the worker is done, the connection is cancelled,
// or the worker is gone. Returns 1 when the byte moved, else 0.
#include <cstdint>

namespace winseria {

int32_t TransferWriteByte(uint8_t value);
int32_t TransferReadByte(uint8_t* destination);

}  // namespace winseria
