#pragma once
// The two kinds of number an outcome has: the internal error number that
// tells failures apart, and the result code that is stored and shown. They
// are distinct types, so one is never taken for the other; KodBledu is the
// only way from the first to the second. Also the byte helper and the
// CRC-16/ARC register the link and the updater share.
#include <cstdint>

namespace voren {

// Internal error number; the numbers without a name are the printer's
// refusals and statuses (command_table.cpp, exchange.cpp).
enum class ErrorNumber : std::uint8_t {
  Brak = 0,
  SumaCrc = 1,      // the printer found a block's checksum wrong
  Weryfikacja = 2,  // the printer's verification of a block failed
  Nadawanie = 20,   // a byte did not go out
  Odbieranie = 21,  // no byte came in
  NiepoprawnaOdpowiedz = 23,
  NakNaSekwencje = 24,  // the control sequence was answered with NAK
};

// Result code: the outcome the link keeps (sticky) and the operator is shown.
enum class ResultCode : std::uint8_t {};

// Maps an internal error number to its result code: the link's own failures
// keep their numbers, and a status s in the printer's error list
// (statusErrorNumber, command_table.cpp) reads s + 100. A status outside
// that list (1, 6, 19 to 99, 110, ...) is no error the printer defines: the
// exchange reports it as a wrong answer, 23. So status 1 reads 23, except
// after a block's second half, where the updater takes statuses 1 and 2 for
// a damaged block (reportedDamage, upload.cpp) and reports 1 or 2.
constexpr ResultCode KodBledu(ErrorNumber numer) {
  const int n = static_cast<int>(numer);
  if (n >= 63 && n <= 67) return ResultCode(n + 38);
  if (n >= 68 && n <= 79) return ResultCode(n + 39);
  if (n >= 80 && n <= 92) return ResultCode(n + 120);
  if (n == 93) return ResultCode(215);
  if (n == 94) return ResultCode(217);
  if (n >= 95 && n <= 106) return ResultCode(n + 125);
  return ResultCode(n);
}

// Byte n of value, counted from 1 at the least significant end; 0 beyond 4.
std::uint8_t BajtLiczby(std::uint8_t n, std::uint32_t value);

// Folds one byte into the link's CRC register (CRC-16/ARC, register starts at 0).
void AktualizacjaCRC(std::uint8_t byte);

}  // namespace voren
