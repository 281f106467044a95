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

// A port chosen before the program starts, and how the texts name it:
// "COM3", or the device given for it.
struct PortChoice {
  std::uint8_t number = 1;
  std::string name;
};

// A station watching an unattended update from another process: it is told
// the progress in place of the console, and may stop the upload between
// blocks.
class UpdateWatcher {
 public:
  virtual void progress(int percent) = 0;
  virtual bool stopRequested() = 0;

 protected:
  ~UpdateWatcher() = default;
};

// The program's exit statuses, for scripts and for the station, which reads
// its children's.
inline constexpr int kUpdated = 0;
inline constexpr int kUpdateFailed = 1;     // or the port could not be used
inline constexpr int kRefusedInput = 2;     // a bad command line, file or device name
inline constexpr int kTraceIncomplete = 3;  // updated, but the wire trace is not whole
inline constexpr int kUpdateStopped = 4;    // the station stopped it before the last block

// What the command line may change; the defaults are the operator's dialogue.
struct UpdateSettings {
  GlyphTableView table{glyphTable()};
  // Unattended: this port without asking, and no key wait at the end.
  std::optional<PortChoice> port;
  // With a port: no banner and no progress line on the console, which then
  // shows only the report.
  UpdateWatcher* watcher = nullptr;
};

// The whole program; returns the exit status: 0 after a successful upload,
// kUpdateStopped when the watcher stopped it, 1 on every other way out.
int AktualizacjaStronyKodowej(Console& console, Keyboard& keyboard,
                              const UpdateSettings& settings = {});

}  // namespace voren
