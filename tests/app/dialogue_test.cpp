#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/app/updater_fixture.h"

namespace voren {
namespace {

const std::string kPrompt =
    "Podaj numer portu COM do ktorego podlaczono drukarke (0-wyjscie z programu): ";

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct Quit {
  const char* name;
  const char* keys;
  bool portsPresent = true;
};

class QuitWithoutTouchingAPort : public Updater, public ::testing::WithParamInterface<Quit> {};

TEST_P(QuitWithoutTouchingAPort, OnZeroOrTheEndOfInput) {
  const Quit& q = GetParam();
  if (!q.portsPresent) printer().presentPorts.clear();
  EXPECT_EQ(run(q.keys), 1);
  EXPECT_FALSE(printer().portOpen());
  EXPECT_TRUE(printer().written().empty());
  for (const auto& call : printer().calls()) EXPECT_EQ(call.rfind("SerialPortPresent", 0), 0u);
  EXPECT_EQ(console->keyWaitingCalls(), 0);
}

INSTANTIATE_TEST_SUITE_P(Dialogue, QuitWithoutTouchingAPort,
                         ::testing::Values(Quit{"Zero", "0\n"}, Quit{"NoKeys", ""},
                                           Quit{"LettersThenNoMore", "ab"},
                                           Quit{"BlanksThenNoMore", "  \n"},
                                           Quit{"MinusZero", "-0\n"},
                                           Quit{"MissingPortThenNoMore", "7", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Updater, BannerComesOnAClearedWindow) {
  run("0\n");
  EXPECT_EQ(console->clears(), 1);
  EXPECT_EQ(console->screen(),
            "Program dla Windows do zmiany strony kodowej w drukarce VOREN\n"
            "Program zmieni strone kodowa na 852 (Latin-2)\n"
            "\n"
            "\n" +
                kPrompt + "0\n");
  EXPECT_TRUE(printer().calls().empty());
}

TEST_F(Updater, LettersAreEchoedTakenAwayAndTheQuestionComesAgain) {
  printer().presentPorts = {};
  run("ab0\n");
  const auto lines = console->lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines.end()[-4], kPrompt + "a");
  EXPECT_EQ(lines.end()[-3], kPrompt + "b");
  EXPECT_EQ(lines.end()[-2], kPrompt + "0");
}

TEST_F(Updater, EnterBeforeTheDigitsIsSkipped) {
  EXPECT_EQ(run("\n \n3\n"), 0);
  EXPECT_EQ(count(console->output(), kPrompt), 1);
  EXPECT_EQ(printer().calls().front(), "SerialPortPresent(3)");
}

// 224 is Ó in code page 852 and 0 a key of its own; only the console knows
// when either starts a cursor or function key's two codes.
struct OneKey {
  const char* name;
  std::string key;
  // Ó shows as itself; a control character shows nothing, so the line ends
  // with the question.
  std::string line;
};

class CharacterWithCode224Or0 : public Updater, public ::testing::WithParamInterface<OneKey> {};

TEST_P(CharacterWithCode224Or0, IsOneKey) {
  const OneKey& k = GetParam();
  EXPECT_EQ(run(k.key + "3\n"), 0);
  const auto lines = console->lines();
  EXPECT_EQ(count(console->output(), kPrompt), 2);
  EXPECT_NE(std::find(lines.begin(), lines.end(), k.line), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), kPrompt + "3"), lines.end());
  EXPECT_EQ(printer().calls().front(), "SerialPortPresent(3)");
}

INSTANTIATE_TEST_SUITE_P(Dialogue, CharacterWithCode224Or0,
                         ::testing::Values(OneKey{"Code224", "\xe0", kPrompt + "\xe0"},
                                           OneKey{"Code0", std::string(1, '\0'),
                                                  kPrompt.substr(0, kPrompt.size() - 1)}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PortNumber {
  const char* name;
  const char* keys;
  int port;
};

class PortNumberTyped : public Updater, public ::testing::WithParamInterface<PortNumber> {};

TEST_P(PortNumberTyped, IsReadAsCReadsIt) {
  const PortNumber& n = GetParam();
  printer().presentPorts = {8, 10, 255};
  printer().initializeResult = 5;  // the opening is all this test needs
  EXPECT_EQ(run(n.keys), 1);
  const std::string open = "InitializePort(" + std::to_string(n.port) + ",38400,3,3)";
  EXPECT_EQ(printer().calls().at(2), open);
  EXPECT_EQ(console->lines().end()[-2],
            "Nie mozna zainicjowac portu COM" + std::to_string(n.port) + "!");
}

INSTANTIATE_TEST_SUITE_P(Dialogue, PortNumberTyped,
                         ::testing::Values(PortNumber{"Octal", "010\n", 8},
                                           PortNumber{"Hexadecimal", "0x0A\n", 10},
                                           PortNumber{"SignedHexadecimal", "+0xff\n", 255}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Updater, OnlyPortsTheComputerHasAreTaken) {
  // 256 and 259 are no ports, not 0 and COM3; nor is a negative number.
  printer().presentPorts = {3};
  EXPECT_EQ(run("256\n259\n-3\n4\n3\n"), 0);
  for (const char* shown : {"256", "259", "-3", "4"}) {
    EXPECT_EQ(count(console->output(),
                    std::string("\nW tym komputerze nie ma portu COM") + shown + "!\n"),
              1)
        << shown;
  }
  EXPECT_EQ(count(console->output(), kPrompt), 5);
  EXPECT_EQ(printer().calls(),
            (std::vector<std::string>{"SerialPortPresent(4)", "SerialPortPresent(3)", "UstawCTS(1)",
                                      "InitializePort(3,38400,3,3)", "ChangeParity(2)",
                                      "UnInitializePort()"}));
}

// After a port the computer lacks: the ports it has with a number (the
// operator types a number), one a line with what is known of each, then the
// question again.
struct MissingPort {
  const char* name;
  std::set<std::uint32_t> ports;
  std::vector<std::string> unnumbered;
  const char* keys;
  std::string shown;
  std::map<std::uint32_t, std::uint32_t> probeErrors{};
  std::map<std::uint32_t, PortDescription> descriptions{};
};

class MissingPortIsFollowed : public Updater, public ::testing::WithParamInterface<MissingPort> {};

TEST_P(MissingPortIsFollowed, ByThePortsThatExist) {
  const MissingPort& c = GetParam();
  printer().presentPorts = c.ports;
  printer().unnumberedPorts = c.unnumbered;
  printer().probeErrors = c.probeErrors;
  printer().portDescriptions = c.descriptions;
  run(c.keys);
  EXPECT_NE(console->output().find("\nW tym komputerze nie ma portu " + c.shown), std::string::npos)
      << console->output();
}

INSTANTIATE_TEST_SUITE_P(
    Dialogue, MissingPortIsFollowed,
    ::testing::Values(
        MissingPort{"OnePort",
                    {3},
                    {},
                    "7\n3\n",
                    "COM7!\nPorty COM w tym komputerze:\n  COM3\n\n" + kPrompt + "3"},
        MissingPort{
            "SeveralPortsAndAnUnnumberedOne",
            {1, 3, 12},
            {"/dev/ttyUSB0"},
            "300\n0\n",
            "COM300!\nPorty COM w tym komputerze:\n  COM1\n  COM3\n  COM12\n\n" + kPrompt + "0"},
        // What the operator recognises an adapter by; how the system reaches
        // it is for --list.
        MissingPort{"PortsWithTheirDevices",
                    {1, 4, 5},
                    {},
                    "2\n0\n",
                    "COM2!\nPorty COM w tym komputerze:\n  COM1\n"
                    "  COM4: FTDI USB Serial Port, USB 0403:6001, nr seryjny A50285BI\n"
                    "  COM5: wch.cn USB-SERIAL CH340, USB 1a86:7523\n\n" +
                        kPrompt + "0",
                    {},
                    {{1, {.driver = "Serial"}},
                     {4,
                      {.driver = "FTSER2K",
                       .vendorId = "0403",
                       .productId = "6001",
                       .manufacturer = "FTDI",
                       .product = "USB Serial Port",
                       .serial = "A50285BI",
                       .location = "Port_#0001.Hub_#0003",
                       .friendlyName = "USB Serial Port (COM4)"}},
                     {5,
                      {.driver = "CH341SER_A64",
                       .vendorId = "1a86",
                       .productId = "7523",
                       .manufacturer = "wch.cn",
                       .product = "USB-SERIAL CH340",
                       .friendlyName = "USB-SERIAL CH340 (COM5)"}}}},
        MissingPort{"OnlyAnUnnumberedPort",
                    {},
                    {"/dev/ttyACM0"},
                    "2\n0\n",
                    "COM2!\nW tym komputerze nie ma zadnego portu COM.\n\n" + kPrompt + "0"}),
    [](const auto& info) { return std::string(info.param.name); });

// Held by another program: in use, never called missing.
TEST_F(Updater, HeldPortIsInUseNotMissing) {
  for (const std::uint32_t error : {5u, 32u, 33u}) {
    SCOPED_TRACE(error);
    printer().reset();
    printer().presentPorts = {2, 3};
    printer().probeErrors = {{2, error}};
    run("2\n0\n");
    EXPECT_NE(console->output().find(kPrompt + "2\r\n\nPort COM2 jest zajety przez inny program.\n\n" +
                                     kPrompt + "0"),
              std::string::npos)
        << console->output();
    EXPECT_EQ(console->output().find("nie ma portu"), std::string::npos) << console->output();
  }
}

TEST_F(Updater, PortThatCannotBeOpenedGetsItsLineAndAKeyWait) {
  printer().initializeResult = 5;
  EXPECT_EQ(run("3\n"), 1);
  EXPECT_EQ(console->screen().substr(console->screen().rfind(kPrompt)),
            kPrompt + "3\n\nNie mozna zainicjowac portu COM3!\n");
  EXPECT_EQ(printer().calls(), (std::vector<std::string>{"SerialPortPresent(3)", "UstawCTS(1)",
                                                         "InitializePort(3,38400,3,3)"}));
  EXPECT_TRUE(printer().written().empty());
  EXPECT_EQ(console->keyWaitingCalls(), 1);
}

}  // namespace
}  // namespace voren
