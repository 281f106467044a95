// The wire trace against the scripted printer's own transcript of the wire:
// both merge a run of bytes in one direction and break at a failure.
#include "link/wire_trace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "link/exchange.h"
#include "link/link_state.h"
#include "link/port_setup.h"
#include "link/printer_protocol.h"
#include "tests/support/scripted_printer.h"
#include "tests/support/temp_dir.h"

namespace voren {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TraceLine {
  long long micros = -1;
  std::string token;  // as the transcript writes it: ">1b01", "<06", ">!", "<!"
  int code = -1;      // the result code the line ends with
  std::string rest;   // what follows the code on a failure line
};

// Parses "T DIR XX .. code C [text]" into the transcript's form.
std::vector<TraceLine> readTrace(const std::string& path) {
  std::ifstream in(path);
  std::vector<TraceLine> lines;
  std::string text;
  while (std::getline(in, text)) {
    if (text.starts_with("#")) continue;
    std::istringstream fields(text);
    TraceLine line;
    std::string direction, field;
    fields >> line.micros >> direction;
    line.token = direction == "out" ? '>' : direction == "in" ? '<' : '?';
    while (fields >> field && field != "code") {
      if (field == "--") continue;
      for (char& c : field) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      line.token += field;
    }
    EXPECT_TRUE(fields >> line.code) << "no result code in: " << text;
    std::getline(fields, line.rest);
    // A failure line's bytes did not move: "!" in their place.
    if (!line.rest.empty()) {
      line.token.resize(1);
      line.token += '!';
    }
    lines.push_back(line);
  }
  return lines;
}

std::string lastLine(const std::string& path) {
  std::ifstream in(path);
  std::string line, last;
  while (std::getline(in, line)) last = line;
  return last;
}

std::string transcriptWithoutClears() {
  std::istringstream tokens(test::scriptedPrinter().transcript());
  std::string token, joined;
  while (tokens >> token) {
    if (token == "clear") continue;
    joined += (joined.empty() ? "" : " ") + token;
  }
  return joined;
}

class WireTrace : public ::testing::Test {
 protected:
  void SetUp() override {
    resetLinkState();
    test::scriptedPrinter().reset();
    OtwarciePortu();
    ASSERT_TRUE(folder_.made());
    path_ = folder_.file("trace.txt");
  }
  void TearDown() override { stopWireTrace(); }

  void place(const Bytes& data) {
    std::copy(data.begin(), data.end(), linkState().frame.begin() + kSendArea);
  }

  const ::voren::test::TempDir folder_{"voren-wire-trace"};
  std::string path_;
};

TEST_F(WireTrace, OneLinePerRunAsTheWireCarriedItWithFailuresOnLinesOfTheirOwn) {
  ASSERT_TRUE(startWireTrace(path_));
  auto& printer = test::scriptedPrinter();
  const Bytes data{0x01, 0x40, 0x11, 0x13};
  place(data);
  printer.expect({kEsc, 0x01}).reply({kAck}).expect(data).reply({0});
  WykonanieRozkazu(1, 1, 4, 1);
  // A continuation whose status never comes...
  printer.expect(data).silence();
  WymianaRozkazu(2, 0, 0, 4, 1);
  // ...a list answer read byte after byte, merged into one line...
  linkState().resultCode = KodBledu(ErrorNumber::Brak);
  printer.expect({kEsc, 148}).reply({0x99, 0x11, 0x22});
  WykonanieRozkazu(148, 3, 0, 0);
  // ...and a control sequence the port refuses half way.
  printer.expect({kEsc}).failWrite();
  WykonanieRozkazu(1, 1, 4, 1);
  stopWireTrace();

  const auto lines = readTrace(path_);
  std::string tokens;
  for (const auto& line : lines) tokens += (tokens.empty() ? "" : " ") + line.token;
  EXPECT_EQ(tokens, transcriptWithoutClears());
  EXPECT_EQ(tokens, ">1b01 <06 >01401113 <00 >01401113 <! >1b94 <991122 >1b >!");

  long long before = 0;
  for (const auto& line : lines) {
    EXPECT_GE(line.micros, before) << "time runs backwards at " << line.token;
    before = line.micros;
  }
  ASSERT_EQ(lines.size(), 10u);
  // Each line ends with the link's result code as its exchange left it: the
  // silent status is 21 and the refused write 20, not the port call's 0.
  std::string codes;
  for (const auto& line : lines) {
    if (!codes.empty()) codes += ' ';
    codes += std::to_string(line.code);
  }
  EXPECT_EQ(codes, "0 0 0 0 0 21 0 0 0 20");
  EXPECT_TRUE(lines[5].rest.starts_with(" no byte (failed or timed out) after ")) << lines[5].rest;
  EXPECT_TRUE(lines[9].rest.starts_with(" not taken (failed or timed out) after "))
      << lines[9].rest;

  // The last line sums up the answers: the acknowledgement, the status and
  // the list, not the status that never came.
  const std::string last = lastLine(path_);
  EXPECT_TRUE(last.starts_with("# answers 3, wait median ")) << last;
}

TEST_F(WireTrace, EachExchangeStartsALineAndNothingIsRecordedOutsideTheTrace) {
  test::scriptedPrinter().expect({kEsc, 0x42, kEsc, 0x43, kEsc, 0x44, kEsc, 0x45});
  WymianaRozkazu(1, 0x42, 0, 0, 0);
  ASSERT_TRUE(startWireTrace(path_));
  WymianaRozkazu(1, 0x43, 0, 0, 0);
  WymianaRozkazu(1, 0x44, 0, 0, 0);
  stopWireTrace();
  WymianaRozkazu(1, 0x45, 0, 0, 0);

  std::string tokens;
  for (const auto& line : readTrace(path_)) tokens += (tokens.empty() ? "" : " ") + line.token;
  EXPECT_EQ(tokens, ">1b43 >1b44");
  // No answer came: no wait to sum up, not a wait of 0 us.
  EXPECT_EQ(lastLine(path_), "# answers 0");
}

TEST_F(WireTrace, AFileThatCannotBeMadeIsRefusedWithTheReason) {
  EXPECT_FALSE(startWireTrace(folder_.file("no-such-dir/trace.txt")));
  EXPECT_EQ(wireTraceFailure(), "cannot be created: no such file or directory");
}

// A full device takes nothing: a short trace fails only as it is closed, a
// long one at a write on the way, after which the wire goes on untraced.
// A new trace starts whole.
TEST_F(WireTrace, AFileThatCannotBeWrittenWholeSaysWhyAndTheWireGoesOn) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no full device on this system";
  for (const int exchanges : {1, 4000}) {
    ASSERT_TRUE(startWireTrace("/dev/full"));
    for (int i = 0; i < exchanges; ++i) {
      test::scriptedPrinter().expect({kEsc, 0x43});
      WymianaRozkazu(1, 0x43, 0, 0, 0);
      if (i == exchanges - 2) {
        EXPECT_NE(wireTraceFailure(), "") << "no write failed on the way";
      }
    }
    EXPECT_EQ(linkState().resultCode, KodBledu(ErrorNumber::Brak));
    stopWireTrace();
    EXPECT_EQ(wireTraceFailure(), "not written completely: no space left on device") << exchanges;
  }
  ASSERT_TRUE(startWireTrace(path_));
  EXPECT_EQ(wireTraceFailure(), "");
}

}  // namespace
}  // namespace voren
