#pragma once
// What a station and the child updating one printer for it say to each
// other. One child per port, the station its parent:
//
//   station -> child, its standard input: the 36,864 bytes of the glyph
//     table, then nothing more; the end of that input asks the child to stop
//     (the station stops it, or has gone).
//   child -> station, its standard output and error, one pipe, lines ending
//     in \n (a \r before it is dropped):
//       progress P    P 0..100, the share of blocks the printer has taken
//       report TEXT   a line of the update's own report, as the single-port
//                     run prints it: the end report, or why the port could
//                     not be used
//       event JSON    with --json only: an event of the port's run, as the
//                     single-port run writes it (app/report/json_events.h)
//     any other line is a note (a message on standard error), which the
//     station shows under its summary.
//   The child's exit status carries the outcome: the single-port run's (0
//   updated, 1 failed, 3 updated with its trace incomplete), or
//   kUpdateStopped (app/updater.h) when it stopped before the last block.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voren {

struct StationMessage {
  enum class Kind { Progress, Report, Event, Note };
  Kind kind = Kind::Note;
  int percent = 0;   // Progress
  std::string text;  // Report: its line; Event: its JSON; Note: the whole line
  friend bool operator==(const StationMessage&, const StationMessage&) = default;
};

// One line as the child wrote it, without its line end.
StationMessage parseStationLine(std::string_view line);

// The lines as the child writes them, line end included.
std::string progressLine(int percent);
std::string reportLine(std::string_view text);
std::string eventLine(std::string_view json);

// Cuts a byte stream into lines; what follows the last line end waits for
// more, and comes out as a line of its own at the end of the stream.
class LineSplitter {
 public:
  std::vector<std::string> feed(std::string_view bytes);
  std::optional<std::string> finish();

 private:
  std::string pending_;
};

}  // namespace voren
