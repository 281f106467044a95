#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>

#include "app/glyph_table.h"
#include "app/updater.h"
#include "link/printer_protocol.h"
#include "tests/app/updater_fixture.h"

namespace voren {
namespace {

using test::Fault;
using test::Stage;

const std::string kQuestion =
    "Program dla Windows do zmiany strony kodowej w drukarce VOREN\n"
    "Program zmieni strone kodowa na 852 (Latin-2)\n"
    "\n"
    "\n"
    "Podaj numer portu COM do ktorego podlaczono drukarke (0-wyjscie z programu): ";
// The banner as the screen shows it once port 3 is typed.
const std::string kBanner = kQuestion + "3\n";

// What the progress writes after its "0%": one percentage per accepted block.
std::string progressWrites(int blocks) {
  std::string text;
  for (int i = 0; i < blocks; ++i) text += std::to_string((i + 1) * 100 / 144) + "%";
  return text;
}

// All a clean upload to port 3 writes, the echo of the Enter key included.
std::string cleanUploadOutput() {
  return kQuestion + "3\r\n\n\nTrwa aktualizacja strony kodowej: 0%" + progressWrites(144) +
         "\n\nAktualizacja strony kodowej zakonczona sukcesem!";
}

TEST_F(Updater, CleanUploadWritesEveryBlockOnceWithTheRightCrc) {
  EXPECT_EQ(run("3\n"), 0);

  EXPECT_EQ(printer().calls(), openedAndClosed());
  EXPECT_EQ(model().crcMismatches(), 0);
  ASSERT_EQ(model().addressOrder().size(), 144u);
  const auto& table = glyphTable();
  for (std::uint16_t i = 0; i < 144; ++i) {
    const std::uint16_t address = 320 + i;
    EXPECT_EQ(model().addressOrder()[i], address);
    ASSERT_EQ(model().blocks().count(address), 1u) << address;
    EXPECT_TRUE(std::equal(table.begin() + 256 * i, table.begin() + 256 * (i + 1),
                           model().blocks().at(address).begin()))
        << "block " << address;
  }

  EXPECT_EQ(console->screen(), kBanner +
                                   "\n\n"
                                   "Trwa aktualizacja strony kodowej: 100%\n"
                                   "\n"
                                   "Aktualizacja strony kodowej zakonczona sukcesem!");
  // In place: one cursor move and one percentage per block, on the same spot.
  EXPECT_EQ(console->cursorMoves(), 144);
  EXPECT_EQ(console->output(), cleanUploadOutput());
}

TEST_F(Updater, ProgressStaysOnItsLineWhenTheWindowGrowsMidUpload) {
  // A short window has scrolled the banner away; halfway through the upload
  // the operator makes it taller, lines come back from the scroll-back and
  // the progress line moves down the window with them.
  options.height = 5;
  console = std::make_unique<test::ScriptedConsole>(options);
  console->type("3\n");
  console->onceWritten("50%", [&] { console->resize(25); });
  Keyboard keyboard(*console);
  EXPECT_EQ(AktualizacjaStronyKodowej(*console, keyboard), 0);
  EXPECT_EQ(console->screen(), kBanner +
                                   "\n\n"
                                   "Trwa aktualizacja strony kodowej: 100%\n"
                                   "\n"
                                   "Aktualizacja strony kodowej zakonczona sukcesem!");
  EXPECT_EQ(console->row(8), "Trwa aktualizacja strony kodowej: 100%");
}

TEST_F(Updater, ProgressAfterCtrlZAndFgLeavesTheShellsTextAndAppends) {
  console = std::make_unique<test::ScriptedConsole>(options);
  console->type("3\n");
  console->onceWritten("50%", [&] { console->stopAndContinue("\n$ fg\nvoren-cp852\n"); });
  Keyboard keyboard(*console);
  EXPECT_EQ(AktualizacjaStronyKodowej(*console, keyboard), 0);
  EXPECT_NE(console->screen().find("Trwa aktualizacja strony kodowej: 50%\n"
                                   "$ fg\n"
                                   "voren-cp852\n"
                                   " 60% 70% 80% 90% 100%\n\nAktualizacja"),
            std::string::npos)
      << console->screen();
}

TEST_F(Updater, ProgressWithoutACursorStaysReadable) {
  options.terminal = false;
  EXPECT_EQ(run("3\n"), 0);
  EXPECT_EQ(console->cursorMoves(), 0);
  EXPECT_NE(console->output().find("Trwa aktualizacja strony kodowej: 0% 10% 20% 30% 40% 50% "
                                   "60% 70% 80% 90% 100%\n\nAktualizacja"),
            std::string::npos)
      << console->output();
}

TEST_F(Updater, DamagedBlockIsSentAgainAndPrintsNothingMore) {
  model().inject({.address = 325, .stage = Stage::SecondHalf, .answer = 1});
  EXPECT_EQ(run("3\n"), 0);
  EXPECT_EQ(model().attempts().at(325), 2);
  EXPECT_EQ(model().attempts().at(324), 1);
  EXPECT_EQ(model().blocks().size(), 144u);
  EXPECT_EQ(console->output(), cleanUploadOutput());
}

TEST_F(Updater, EveryBlockHasItsOwnThreeRepeats) {
  model().inject({.address = 320, .stage = Stage::SecondHalf, .answer = 1, .times = 3});
  model().inject({.address = 321, .stage = Stage::SecondHalf, .answer = 2, .times = 3});
  model().inject(
      {.address = kLastBlockAddress, .stage = Stage::SecondHalf, .answer = 1, .times = 3});
  EXPECT_EQ(run("3\n"), 0);
  EXPECT_EQ(model().attempts().at(320), 4);
  EXPECT_EQ(model().attempts().at(321), 4);
  EXPECT_EQ(model().attempts().at(kLastBlockAddress), 4);
  EXPECT_EQ(lastLine(), "Aktualizacja strony kodowej zakonczona sukcesem!");
}

// A printer that keeps reporting the block damaged: a real CRC fault.
TEST_F(Updater, FourthDamagedAttemptEndsWithTheStatusAsTheError) {
  model().inject({.address = 327, .stage = Stage::SecondHalf, .answer = 1, .times = 4});
  EXPECT_EQ(run("3\n"), 1);
  EXPECT_EQ(model().attempts().at(327), 4);
  EXPECT_EQ(model().blocks().size(), 7u);
  EXPECT_EQ(printer().calls(), openedAndClosed());
  EXPECT_EQ(console->lines().end()[-3], "Trwa aktualizacja strony kodowej: 4%");
  EXPECT_EQ(lastLine(), "Blad nr 1: blad sumy CRC");
}

TEST_F(Updater, FourthFailedVerificationOfTheLastBlockEndsWithTheStatusAsTheError) {
  model().inject(
      {.address = kLastBlockAddress, .stage = Stage::SecondHalf, .answer = 2, .times = 4});
  EXPECT_EQ(run("3\n"), 1);
  EXPECT_EQ(model().attempts().at(kLastBlockAddress), 4);
  EXPECT_EQ(console->lines().end()[-3], "Trwa aktualizacja strony kodowej: 99%");
  EXPECT_EQ(lastLine(), "Blad nr 2: blad weryfikacji danych");
}

// Status 122 brings two bytes; a 1 or 2 among them is no damaged block.
TEST_F(Updater, SecondHalfStatusWithTrailingBytesIsNoDamagedBlock) {
  printer().reset();
  const auto& table = glyphTable();
  std::vector<std::uint8_t> first{0x01, 0x40};
  first.insert(first.end(), table.begin(), table.begin() + 128);
  std::vector<std::uint8_t> second(table.begin() + 128, table.begin() + 256);
  std::vector<std::uint8_t> checked = first;
  checked.insert(checked.end(), second.begin(), second.end());
  const std::uint16_t crc = test::crc16Arc(checked);
  second.insert(second.end(),
                {static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)});
  printer().expect({kEsc, kBlockCommand}).reply({kAck}).expect(first).reply({0});
  printer().expect(second).reply({122, 1, 2});

  EXPECT_EQ(run("3\n"), 1);
  EXPECT_EQ(lastLine(), "Blad nr 222: inny blad");
  EXPECT_TRUE(printer().scriptDone()) << printer().transcript();
}

struct Failure {
  const char* name;
  Fault fault;
  const char* report;
};

class OtherFailure : public Updater, public ::testing::WithParamInterface<Failure> {};

// Anything but status 1 or 2 after the second half stops at once.
TEST_P(OtherFailure, StopsTheUploadAtOnceAndCloses) {
  const Failure& f = GetParam();
  model().inject(f.fault);
  EXPECT_EQ(run("3\n"), 1);
  EXPECT_EQ(lastLine(), f.report);
  EXPECT_EQ(console->lines().end()[-3], "Trwa aktualizacja strony kodowej: 6%");
  EXPECT_EQ(model().blocks().size(), 10u);
  EXPECT_LE(model().attempts().count(330) ? model().attempts().at(330) : 0, 1);
  EXPECT_EQ(printer().calls(), openedAndClosed());
}

INSTANTIATE_TEST_SUITE_P(
    Upload, OtherFailure,
    ::testing::Values(Failure{"NakToTheControlSequence",
                              {.address = 330, .stage = Stage::Control, .answer = 0x15},
                              "Blad nr 24: drukarka odpowiedziala NAK na sekwencje sterujaca"},
                      Failure{"OtherByteToTheControlSequence",
                              {.address = 330, .stage = Stage::Control, .answer = 0x07},
                              "Blad nr 23: niepoprawna odpowiedz z drukarki"},
                      Failure{"SilenceAfterTheControlSequence",
                              {.address = 330, .stage = Stage::Control, .answer = std::nullopt},
                              "Blad nr 21: timeout odbierania"},
                      Failure{"SilenceAfterTheFirstHalf",
                              {.address = 330, .stage = Stage::FirstHalf, .answer = std::nullopt},
                              "Blad nr 21: timeout odbierania"},
                      Failure{"SilenceAfterTheSecondHalf",
                              {.address = 330, .stage = Stage::SecondHalf, .answer = std::nullopt},
                              "Blad nr 21: timeout odbierania"},
                      Failure{"Status5AfterTheFirstHalf",
                              {.address = 330, .stage = Stage::FirstHalf, .answer = 5},
                              "Blad nr 105: inny blad"},
                      Failure{"Status5AfterTheSecondHalf",
                              {.address = 330, .stage = Stage::SecondHalf, .answer = 5},
                              "Blad nr 105: inny blad"},
                      Failure{"Status1AfterTheFirstHalf",
                              {.address = 330, .stage = Stage::FirstHalf, .answer = 1},
                              "Blad nr 23: niepoprawna odpowiedz z drukarki"},
                      Failure{"Status2AfterTheFirstHalf",
                              {.address = 330, .stage = Stage::FirstHalf, .answer = 2},
                              "Blad nr 102: inny blad"},
                      Failure{"Status131AfterTheSecondHalf",
                              {.address = 330, .stage = Stage::SecondHalf, .answer = 131},
                              "Blad nr 231: inny blad"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Updater, FailedWriteIsASendingTimeOut) {
  printer().failWriteAt = 2 * 262 + 5;  // in the first half of the third block
  EXPECT_EQ(run("3\n"), 1);
  EXPECT_EQ(lastLine(), "Blad nr 20: timeout nadawania");
  EXPECT_EQ(model().blocks().size(), 2u);
  EXPECT_EQ(printer().calls(), openedAndClosed());
}

// What the port said when the write failed follows the end report: CTS off
// (read from the modem lines as the write fails) or the port's device gone
// (its name no longer opens); nothing where neither is known.
struct WriteFault {
  const char* name;
  std::optional<std::uint32_t> modemLines;
  std::int32_t failureError;
  bool unplugs;
  const char* line;  // nothing: the end report is the last line
};

class WriteFailureSaysWhy : public Updater, public ::testing::WithParamInterface<WriteFault> {};

TEST_P(WriteFailureSaysWhy, AfterTheEndReport) {
  const WriteFault& f = GetParam();
  printer().failWriteAt = 2 * 262 + 5;  // in the first half of the third block
  printer().modemLines = f.modemLines;
  printer().failureError = f.failureError;
  printer().unplugs = f.unplugs;
  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(run("", {.port = PortChoice{3, "COM3"}}), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
  std::string ending = "\n\nBlad nr 20: timeout nadawania\n";
  if (f.line) ending.append(f.line).append("\n");
  EXPECT_TRUE(console->output().ends_with(ending)) << console->output();
  EXPECT_EQ(model().blocks().size(), 2u);
}

constexpr std::uint32_t kCtsOn = 0x10, kDsrOn = 0x20;

INSTANTIATE_TEST_SUITE_P(
    Upload, WriteFailureSaysWhy,
    ::testing::Values(
        WriteFault{"CtsOff", kDsrOn, 0, false,
                   "Drukarka nie pozwala nadawac: linia CTS portu COM3 jest wylaczona (drukarka "
                   "wylaczona lub niegotowa, albo kabel bez linii CTS)."},
        WriteFault{"CtsOn", kCtsOn | kDsrOn, 0, false, nullptr},
        WriteFault{"NoModemLines", std::nullopt, 0, false, nullptr},
        WriteFault{"AdapterPulledOut", std::nullopt, 1167, true,
                   "Port COM3 zostal odlaczony od komputera (adapter USB wyjety?)."},
        WriteFault{"AdapterPulledOutWithWindowsBadCommand", kCtsOn, 22, true,
                   "Port COM3 zostal odlaczony od komputera (adapter USB wyjety?)."},
        WriteFault{"DeviceNotConnectedButStillThere", kCtsOn, 1167, false, nullptr},
        WriteFault{"GoneWithoutAnErrorThatSaysSo", kCtsOn, 0, true, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Updater, KeyWaitSleepsBetweenLooks) {
  printer().initializeResult = 5;
  const auto start = std::chrono::steady_clock::now();
  auto scripted = std::make_unique<test::ScriptedConsole>(options);
  scripted->type("3\n");
  scripted->answerKeyWaiting({false, false, false, false, false});
  Keyboard keyboard(*scripted);
  EXPECT_EQ(AktualizacjaStronyKodowej(*scripted, keyboard), 1);
  EXPECT_EQ(scripted->keyWaitingCalls(), 6);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_EQ(scripted->keysLeft(), 0u);
}

}  // namespace
}  // namespace voren
