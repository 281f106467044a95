#pragma once
// The two kinds of number an outcome has: the internal error number that
// tells failures apart, and the result code that is stored and shown. They
// are distinct types, so one is never taken for the other; KodBledu is the
// only way from the first to the second. Also the byte helper and the
// CRC-16/ARC register the link and the updater share.
#include <cstdint>
#include <iterator>

namespace voren {

// Internal error number. The link's own failures have a name each; the
// printer's statuses take the numbers PierwszyStatus to OstatniStatus, in the
// order of kNumberedStatusRuns.
enum class ErrorNumber : std::uint8_t {
  Brak = 0,
  SumaCrc = 1,      // the printer found a block's checksum wrong
  Weryfikacja = 2,  // the printer's verification of a block failed
  Nadawanie = 20,   // a byte did not go out
  Odbieranie = 21,  // no byte came in
  NiepoprawnaOdpowiedz = 23,
  NakNaSekwencje = 24,   // the control sequence was answered with NAK
  OdmowaSekwencji = 26,  // in mode 0 the control sequence was refused with 200
  PierwszyStatus = 63,   // printer status 1
  OstatniStatus = 106,   // printer status 131
};

// The printer's statuses that have an internal number, in runs of
// consecutive statuses, numbered one after another from PierwszyStatus with
// no gap. Each run says whether its statuses are in the printer's error
// list, that is whether a tested status byte fails as itself
// (statusErrorNumber) or as a wrong answer.
enum class StatusUse : std::uint8_t {
  Error,       // in the printer's error list
  NumberOnly,  // numbered, but no error an answer ends with
};
struct StatusRun {
  std::uint8_t first;
  std::uint8_t last;
  StatusUse use;
};
// Numbered only: 1, which after a block is a damaged block the updater tells
// apart (and in mode 0 a control sequence refused with 1 reads as that
// status), and 110, which the printer does not define.
inline constexpr StatusRun kNumberedStatusRuns[] = {
    {1, 1, StatusUse::NumberOnly}, {2, 5, StatusUse::Error},          {7, 18, StatusUse::Error},
    {100, 109, StatusUse::Error},  {110, 110, StatusUse::NumberOnly}, {111, 112, StatusUse::Error},
    {115, 115, StatusUse::Error},  {117, 117, StatusUse::Error},      {120, 131, StatusUse::Error},
};

// A printer status s is shown as s + 100.
inline constexpr int kStatusResultOffset = 100;

// The internal number of printer status s; NiepoprawnaOdpowiedz for a status
// without one.
constexpr ErrorNumber numerStatusu(std::uint8_t status) {
  int numer = static_cast<int>(ErrorNumber::PierwszyStatus);
  for (const StatusRun run : kNumberedStatusRuns) {
    if (status >= run.first && status <= run.last) return ErrorNumber(numer + status - run.first);
    numer += run.last - run.first + 1;
  }
  return ErrorNumber::NiepoprawnaOdpowiedz;
}

static_assert(numerStatusu(kNumberedStatusRuns[std::size(kNumberedStatusRuns) - 1].last) ==
                  ErrorNumber::OstatniStatus,
              "the runs fill PierwszyStatus to OstatniStatus exactly");

// Whether status is in the printer's error list.
constexpr bool isPrinterError(std::uint8_t status) {
  for (const StatusRun run : kNumberedStatusRuns) {
    if (status >= run.first && status <= run.last) return run.use == StatusUse::Error;
  }
  return false;
}

// Result code: the outcome the link keeps (sticky) and the operator is shown.
enum class ResultCode : std::uint8_t {};

// Maps an internal error number to its result code: the link's own failures
// keep their numbers, and the number of a printer status s reads s + 100.
// Which statuses end an exchange as that status is the runs' use, read by
// statusErrorNumber: status 1, among others, reads 23 there, except after
// a block's second half, where the updater takes statuses 1 and 2 for a
// damaged block (reportedDamage, upload.cpp), sends it again and, after the
// last repeat, reports 1 or 2 (uploadGlyphTable).
constexpr ResultCode KodBledu(ErrorNumber numer) {
  const int n = static_cast<int>(numer);
  int first = static_cast<int>(ErrorNumber::PierwszyStatus);
  for (const StatusRun run : kNumberedStatusRuns) {
    const int next = first + run.last - run.first + 1;
    if (n >= first && n < next) return ResultCode(run.first + (n - first) + kStatusResultOffset);
    first = next;
  }
  return ResultCode(n);
}

// Byte n of value, counted from 1 at the least significant end; 0 beyond 4.
std::uint8_t BajtLiczby(std::uint8_t n, std::uint32_t value);

// What the CRC register holds before a block's first byte: the register's
// default and the updater's start of every block.
inline constexpr std::uint32_t kCrcStart = 0;

// Folds one byte into the link's CRC register (CRC-16/ARC).
void AktualizacjaCRC(std::uint8_t byte);

}  // namespace voren
