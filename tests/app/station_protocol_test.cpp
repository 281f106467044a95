// The station's line protocol: what the station makes of each line a child
// writes, and the cutting of the pipe's bytes into lines.
#include "app/station/station_protocol.h"

#include <gtest/gtest.h>

namespace voren {
namespace {

using Kind = StationMessage::Kind;

TEST(StationProtocol, EachLineReadsAsProgressReportOrNote) {
  const struct {
    const char* line;
    StationMessage message;
  } rows[] = {
      {"progress 0", {Kind::Progress, 0, ""}},
      {"progress 100", {Kind::Progress, 100, ""}},
      {"progress 37\r", {Kind::Progress, 37, ""}},  // a Windows line end
      {"report Blad nr 21: timeout odbierania",
       {Kind::Report, 0, "Blad nr 21: timeout odbierania"}},
      {"report ", {Kind::Report, 0, ""}},
      {"report progress 5", {Kind::Report, 0, "progress 5"}},
      // No percentage of ours: the line is kept whole as a note.
      {"progress 101", {Kind::Note, 0, "progress 101"}},
      {"progress -1", {Kind::Note, 0, "progress -1"}},
      {"progress 5%", {Kind::Note, 0, "progress 5%"}},
      {"progress  5", {Kind::Note, 0, "progress  5"}},
      {"progress", {Kind::Note, 0, "progress"}},
      {"Progress 5", {Kind::Note, 0, "Progress 5"}},
      {"reports", {Kind::Note, 0, "reports"}},
      {R"(event {"event":"port"})", {Kind::Event, 0, R"({"event":"port"})"}},
      {"events", {Kind::Note, 0, "events"}},
      {"voren-cp852: trace file 'w.txt': disk full\r",
       {Kind::Note, 0, "voren-cp852: trace file 'w.txt': disk full"}},
      {"", {Kind::Note, 0, ""}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(parseStationLine(row.line), row.message) << row.line;
  }
  // What the child writes reads back as what it meant.
  EXPECT_EQ(parseStationLine(progressLine(64).substr(0, progressLine(64).size() - 1)),
            (StationMessage{Kind::Progress, 64, ""}));
  const std::string report = reportLine("Aktualizacja strony kodowej zakonczona sukcesem!");
  EXPECT_EQ(parseStationLine(report.substr(0, report.size() - 1)).text,
            "Aktualizacja strony kodowej zakonczona sukcesem!");
}

TEST(StationProtocol, BytesAreCutIntoLinesWhereverTheReadsBreakThem) {
  LineSplitter lines;
  EXPECT_EQ(lines.feed("progr"), std::vector<std::string>{});
  EXPECT_EQ(lines.feed("ess 1\nprogress 2\nrep"),
            (std::vector<std::string>{"progress 1", "progress 2"}));
  EXPECT_EQ(lines.feed("ort x\n\n"), (std::vector<std::string>{"report x", ""}));
  EXPECT_EQ(lines.finish(), std::nullopt);
  // A child that ends without a line end still said its last line.
  EXPECT_EQ(lines.feed("crashed half"), std::vector<std::string>{});
  EXPECT_EQ(lines.finish(), "crashed half");
  EXPECT_EQ(lines.finish(), std::nullopt);
}

}  // namespace
}  // namespace voren
