#pragma once
// Result codes, the byte helper and the CRC-16/ARC register the link and the
// updater share.
#include <cstdint>

namespace voren {

// Internal error numbers the link and the updater produce.
namespace blad {
inline constexpr std::uint8_t kBrak = 0;
inline constexpr std::uint8_t kSumaCrc = 1;
inline constexpr std::uint8_t kWeryfikacja = 2;
inline constexpr std::uint8_t kNadawanie = 20;
inline constexpr std::uint8_t kOdbieranie = 21;
inline constexpr std::uint8_t kNiepoprawnaOdpowiedz = 23;
inline constexpr std::uint8_t kNak = 24;
}  // namespace blad

// Maps an internal error number to the code that is stored and shown, so that
// a failure the printer reports with status s reads s + 100.
std::uint8_t KodBledu(std::uint8_t numer);

// Byte n of value, counted from 1 at the least significant end; 0 beyond 4.
std::uint8_t BajtLiczby(std::uint8_t n, std::uint32_t value);

// Folds one byte into the link's CRC register (CRC-16/ARC, register starts at 0).
void AktualizacjaCRC(std::uint8_t byte);

}  // namespace voren
