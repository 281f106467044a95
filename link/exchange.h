#pragma once
// The command exchange engine: one exchange with the printer in the direct
// byte protocol (escape and command byte, first answer, data, final answer).
// Outcome only through the result code and the frame buffer of the link state.
#include <cstdint>

namespace voren {

// mode 0: command, refusals told apart in detail; 1 (and above 2): command,
// refusal is NAK or invalid; 2: continuation of the command the previous
// exchange opened, no control sequence. Lengths count the leading byte of
// each answer; 0 means the answer is not there.
void WymianaRozkazu(std::uint8_t mode, std::uint8_t command, std::uint8_t firstLength,
                    std::uint8_t dataCount, std::uint8_t finalLength);
// A command exchange in mode 0.
void WykonanieRozkazu(std::uint8_t command, std::uint8_t firstLength, std::uint8_t dataCount,
                      std::uint8_t finalLength);
// Sends send-area bytes 258 .. 257 + count; 1 when all went out, 0 at the
// first that did not (the rest stay unsent).
std::uint8_t WyslanoDane(std::uint8_t count);
// Writes one byte; the port error flag tells how it went.
void WyslanieBajtu(std::uint8_t value);
// Reads one byte; a failed read stores result code 21.
std::uint8_t OdczytanieBajtu();
// Reads an answer's bytes after its leading one into index 2 onward, up to
// index n; with records of recordLength bytes (0: none), a record that
// starts with the list end mark is the last byte read. False when a read
// failed or the result code is no longer success. The engine reads both
// answers so; a record length no command has yet is tried here directly.
bool readRest(unsigned n, std::uint8_t recordLength);

}  // namespace voren
