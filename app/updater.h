#pragma once
// The code page update from the operator's side: banner, port question,
// upload with its progress line, end report, key wait.
namespace voren {

class Console;
class Keyboard;

// The whole program; returns the exit status: 0 after a successful upload,
// 1 on every other way out.
int AktualizacjaStronyKodowej(Console& console, Keyboard& keyboard);

}  // namespace voren
