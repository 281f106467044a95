#pragma once
// The code page update from the operator's side: banner, port question,
// upload with its progress line, end report, key wait.
#include <cstdint>
#include <optional>
#include <string>

#include "app/glyph_table.h"

namespace voren {

class Console;
class Keyboard;

// A port chosen before the program starts, and how the run names it:
// "COM3", or the device as given for it (the console shows its screenText).
struct PortChoice {
  std::uint8_t number = 1;
  std::string name;
};

// Why a port named in advance could not be used.
enum class PortRefusal { Missing, InUse, NoPermission, CannotOpen };

// Someone watching an unattended update besides its console: a station in
// another process, or a script reading the run as JSON. It hears what
// happens to the port and to each block, and may stop the upload between
// blocks.
class UpdateWatcher {
 public:
  virtual void portRefused(PortRefusal why) = 0;
  virtual void portOpened() = 0;
  // Block i (0..143) taken; percent is what the progress line shows now.
  virtual void blockTaken(std::uint32_t block, int percent) = 0;
  // The printer reported block i damaged with status 1 or 2; it goes again.
  virtual void blockRepeated(std::uint32_t block, std::uint8_t status) = 0;
  // The printer's answers came late (app/adapter_delay.h): the line the
  // screen shows after the end report, told while the port is still open.
  virtual void answersLate(const std::string& line) = 0;
  virtual bool stopRequested() = 0;

 protected:
  ~UpdateWatcher() = default;
};

// The program's exit statuses, for scripts and for the station, which reads
// its children's.
inline constexpr int kUpdated = 0;
inline constexpr int kUpdateFailed = 1;  // or the port could not be used
inline constexpr int kRefusedInput = 2;  // a bad command line, file or device name
// Updated, but an output the run writes is not whole: the wire trace, or
// its report on standard output (the screen or --json).
inline constexpr int kOutputIncomplete = 3;
inline constexpr int kUpdateStopped = 4;  // the station stopped it before the last block
inline constexpr int kWriteFailed = 1;    // --list, --help or --version could not write

// What the command line may change; the defaults are the operator's dialogue.
struct UpdateSettings {
  GlyphTableView table{glyphTable()};
  // Unattended: this port without asking, and no key wait at the end.
  std::optional<PortChoice> port;
  // With a port: no banner and no progress line on the console, which then
  // shows only the report; the watcher hears the rest.
  UpdateWatcher* watcher = nullptr;
};

// The whole program; returns the exit status: 0 after a successful upload,
// kUpdateStopped when the watcher stopped it, 1 on every other way out.
int AktualizacjaStronyKodowej(Console& console, Keyboard& keyboard,
                              const UpdateSettings& settings = {});

}  // namespace voren
