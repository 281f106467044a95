// What an unattended update tells its watcher, and the JSON lines made of
// it: the events a script reads, one object a line.
#include "app/report/json_events.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/station/rerun.h"
#include "app/station/station_json.h"
#include "tests/app/updater_fixture.h"

namespace voren {
namespace {

using test::Stage;
using Json = nlohmann::json;

// The watcher's calls as words, in order.
class RecordingWatcher final : public UpdateWatcher {
 public:
  void portRefused(PortRefusal why) override {
    heard.push_back(why == PortRefusal::Missing        ? "missing"
                    : why == PortRefusal::InUse        ? "in use"
                    : why == PortRefusal::NoPermission ? "no permission"
                                                       : "cannot open");
  }
  void portOpened() override { heard.push_back("opened"); }
  void blockTaken(std::uint32_t block, int percent) override {
    heard.push_back("taken " + std::to_string(block) + " " + std::to_string(percent));
  }
  void blockRepeated(std::uint32_t block, std::uint8_t status) override {
    heard.push_back("repeat " + std::to_string(block) + " " + std::to_string(status));
  }
  void answersLate(const std::string& line) override { heard.push_back("late " + line); }
  bool stopRequested() override { return false; }

  std::vector<std::string> heard;
};

using Watched = Updater;

TEST_F(Watched, HearsTheOpeningEachBlockTakenAndEachRepeatInOrder) {
  model().inject({.address = 325, .stage = Stage::SecondHalf, .answer = 1});
  model().inject({.address = 463, .stage = Stage::SecondHalf, .answer = 2, .times = 3});
  RecordingWatcher watcher;
  EXPECT_EQ(run("", {.port = PortChoice{3, "COM3"}, .watcher = &watcher}), kUpdated);
  std::vector<std::string> expected{"opened"};
  for (std::uint32_t i = 0; i < 144; ++i) {
    if (i == 5) expected.push_back("repeat 5 1");
    if (i == 143) expected.insert(expected.end(), 3, "repeat 143 2");
    expected.push_back("taken " + std::to_string(i) + " " + std::to_string((i + 1) * 100 / 144));
  }
  EXPECT_EQ(watcher.heard, expected);
  // The watcher has the progress: the console has the report alone.
  EXPECT_EQ(console->output(), "\n\nAktualizacja strony kodowej zakonczona sukcesem!\n");
}

TEST_F(Watched, TheFourthDamagedAttemptIsNoRepeat) {
  model().inject({.address = 321, .stage = Stage::SecondHalf, .answer = 1, .times = 4});
  RecordingWatcher watcher;
  EXPECT_EQ(run("", {.port = PortChoice{3, "COM3"}, .watcher = &watcher}), kUpdateFailed);
  EXPECT_EQ(watcher.heard, (std::vector<std::string>{"opened", "taken 0 0", "repeat 1 1",
                                                     "repeat 1 1", "repeat 1 1"}));
}

TEST_F(Watched, HearsWhyAPortWasNotUsed) {
  struct Row {
    std::vector<std::uint8_t> present;
    std::vector<std::pair<std::uint8_t, unsigned>> probeErrors;
    unsigned initializeResult;
    const char* heard;
    bool deniedForPermission = false;
  };
  for (const Row& row :
       {Row{{1}, {}, 0, "missing"}, Row{{3}, {{3, 5}}, 0, "in use"},
        Row{{3}, {{3, 5}}, 0, "no permission", true}, Row{{3}, {}, 5, "cannot open"}}) {
    SetUp();
    printer().presentPorts = {row.present.begin(), row.present.end()};
    for (const auto& [port, error] : row.probeErrors) printer().probeErrors[port] = error;
    if (row.deniedForPermission) printer().deniedPorts = {3};
    printer().initializeResult = row.initializeResult;
    RecordingWatcher watcher;
    EXPECT_EQ(run("", {.port = PortChoice{3, "COM3"}, .watcher = &watcher}), kUpdateFailed);
    EXPECT_EQ(watcher.heard, std::vector<std::string>{row.heard});
  }
}

TEST(JsonEvents, EveryEventIsOneObjectThatNamesItself) {
  ComPort ftdiAdapter{0, "/dev/ttyUSB0"};
  ftdiAdapter.description.driver = "ftdi_sio";
  ftdiAdapter.description.vendorId = "0403";
  const PortEnd end{PortOutcome::Failed, false, "Blad nr 21: timeout odbierania", 21, 3.0004, 1.2};
  const std::string lines[] = {
      startEvent({"COM3", "/dev/ttyUSB0"}, "font.bin"),
      startEvent({"COM3"}, std::nullopt),
      portOpenedEvent("COM3"),
      portRefusedEvent("COM9", PortRefusal::InUse, "Port COM9 jest zajety przez inny program."),
      portRefusedEvent("COM2", PortRefusal::NoPermission, "Brak uprawnien do portu COM2."),
      progressEvent("COM3", 143, 100),
      repeatEvent("COM3", 5, 2),
      endEvent("COM4", end),
      noteEvent("COM4", "voren-cp852: trace file 'w.txt': disk full"),
      summaryEvent({1, {"COM4"}, 1, "voren-cp852 --port 4"}, 2),
      listedPort(ftdiAdapter),
  };
  for (const auto& line : lines) {
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    const Json event = Json::parse(line, nullptr, false);
    ASSERT_TRUE(event.is_object()) << line;
  }
  EXPECT_EQ(Json::parse(lines[0])["font"], (Json{{"source", "file"}, {"path", "font.bin"}}));
  EXPECT_EQ(Json::parse(lines[1])["font"], (Json{{"source", "built-in"}}));
  EXPECT_EQ(Json::parse(lines[3])["reason"], "in-use");
  EXPECT_EQ(Json::parse(lines[4])["reason"], "no-permission");
  EXPECT_EQ(Json::parse(lines[7])["seconds"], 3.0);
  EXPECT_TRUE(Json::parse(lines[10])["number"].is_null());
  EXPECT_EQ(Json::parse(lines[10])["description"]["vendor_id"], "0403");
  EXPECT_TRUE(Json::parse(lines[10])["description"]["serial"].is_null());
  EXPECT_EQ(Json::parse(summaryEvent({2, {}, 0, ""}, 2))["rerun"], nullptr);
}

// The summary's counts go by outcome: a port updated with its trace not
// whole is updated, a stopped one (Ctrl-C) is not, as a failed one is not.
TEST(JsonEvents, TheStationsSummaryCountsOnlyThePortsUpdated) {
  std::vector<std::string> lines;
  StationJson view(std::nullopt, [&](const std::string& line) { lines.push_back(line); });
  view.started({"COM3", "COM4", "COM5"});
  view.ended(0, {.outcome = PortOutcome::Updated, .outputIncomplete = true, .text = "ok"});
  view.ended(1, {.outcome = PortOutcome::Stopped, .text = "Przerwano, aktualizacja niedokonczona"});
  view.ended(2, {.outcome = PortOutcome::Failed, .text = "Blad nr 21: timeout odbierania"});
  view.finished(kUpdateFailed, {"voren-cp852 --port 4 --port 5", "voren-cp852 --port 4 --port 5"});
  const Json summary = Json::parse(lines.back());
  EXPECT_EQ(summary["updated"], 1) << lines.back();
  EXPECT_EQ(summary["not_updated"], Json::array({"COM4", "COM5"})) << lines.back();
}

// The station takes its children's ends back from their lines.
TEST(JsonEvents, AnEndReadsBackAsWritten) {
  for (const PortEnd& end :
       {PortEnd{PortOutcome::Failed, false, "Blad nr 21: timeout odbierania", 21, 3.5, 1.25},
        PortEnd{PortOutcome::Stopped, false, "x", std::nullopt, 0.5, std::nullopt},
        PortEnd{PortOutcome::Updated, false, "ok", 0, 11.0, 16.0}}) {
    const auto read = readEndEvent(endEvent("COM4", end));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->outcome, end.outcome);
    EXPECT_EQ(read->code, end.code);
    EXPECT_EQ(read->text, end.text);
    EXPECT_EQ(read->seconds, end.seconds);
    EXPECT_EQ(read->medianWaitMs, end.medianWaitMs);
  }
  for (const char* other : {"", "{", "[]", R"({"event":"progress"})", R"({"event":3})",
                            R"({"event":"end","port":7,"code":"x"})"}) {
    const auto read = readEndEvent(other);
    EXPECT_TRUE(!read || (read->text.empty() && !read->code)) << other;
  }
}

// A device path in another encoding still gives a line a script can parse.
TEST(JsonEvents, TextThatIsNotUtf8StaysParseable) {
  const std::string latin2Path = "/dev/serial/by-id/drukarka-\xb3\xf3\xbf";  // "łóż" in Latin-2
  const std::string line = portOpenedEvent(latin2Path);
  const Json event = Json::parse(line, nullptr, false);
  ASSERT_FALSE(event.is_discarded()) << line;
  const std::string port = event["port"];
  EXPECT_TRUE(port.starts_with("/dev/serial/by-id/drukarka-\xef\xbf\xbd")) << port;
}

}  // namespace
}  // namespace voren
