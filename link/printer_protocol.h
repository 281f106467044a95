#pragma once
// The printer's direct byte protocol as the updater speaks it: the control
// bytes, the glyph upload's command and blocks, and the statuses the upload
// looks at. The link, the updater and every printer double take them from
// here. (The simulator keeps its own: it is the independent printer the
// updater is checked against.)
#include <cstddef>
#include <cstdint>

namespace voren {

// A command starts with ESC and the command number; the printer's first
// answer is ACK, or NAK (or another refusal) when it will not take it.
inline constexpr std::uint8_t kEsc = 0x1B;
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;
// A record of a list answer that starts with this ends the list.
inline constexpr std::uint8_t kListEnd = 0xFF;

// Command 1 writes one block of the glyph table in two halves of 130 bytes:
// the block's address (high byte first) and its bytes 0..127, then its
// bytes 128..255 and the CRC-16/ARC of address and block (high byte first).
// Each half is answered by a status byte.
inline constexpr std::uint8_t kBlockCommand = 1;
inline constexpr std::size_t kBlockSize = 256;
inline constexpr std::uint32_t kBlockCount = 144;
inline constexpr std::uint16_t kFirstBlockAddress = 320;
inline constexpr std::uint16_t kLastBlockAddress = kFirstBlockAddress + kBlockCount - 1;
inline constexpr std::size_t kHalfData = kBlockSize / 2;
inline constexpr std::uint8_t kHalfLength = kHalfData + 2;

// Statuses after a half: accepted, or (after the second half) the block
// arrived damaged: its checksum was wrong, or the printer's verification of
// the stored data failed.
inline constexpr std::uint8_t kStatusAccepted = 0;
inline constexpr std::uint8_t kStatusCrc = 1;
inline constexpr std::uint8_t kStatusVerification = 2;
// A status that brings two more bytes after it.
inline constexpr std::uint8_t kStatusWithTail = 122;

}  // namespace voren
