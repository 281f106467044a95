#include "link/port_setup.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "link/link_state.h"
#include "tests/support/scripted_printer.h"

namespace voren {
namespace {

using Calls = std::vector<std::string>;

class PortSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    resetLinkState();
    printer().reset();
  }
  static test::ScriptedPrinter& printer() { return test::scriptedPrinter(); }
  static LinkState& state() { return linkState(); }
};

// Why a probe found no port, from the platform's error right after it.
struct Absence {
  const char* name;
  std::uint32_t probeError;  // 0: the port is there
  PortAbsence why;
  bool deniedForPermission = false;  // what the platform says of an access denied
};

class ProbeFoundNoPort : public PortSetup, public ::testing::WithParamInterface<Absence> {};

TEST_P(ProbeFoundNoPort, SaysWhy) {
  const Absence& a = GetParam();
  printer().presentPorts = {2};
  if (a.probeError != 0) printer().probeErrors[2] = a.probeError;
  if (a.deniedForPermission) printer().deniedPorts = {2};
  // A missing port first: the answer is the last probe's, not the first's.
  EXPECT_EQ(ObecnoscPortu(7), 0);
  EXPECT_EQ(ObecnoscPortu(2), 0);
  EXPECT_EQ(PowodBrakuPortu(), a.why);
  EXPECT_EQ(printer().calls(), (Calls{"SerialPortPresent(7)", "SerialPortPresent(2)"}));
}

INSTANTIATE_TEST_SUITE_P(
    PortSetup, ProbeFoundNoPort,
    ::testing::Values(Absence{"NoSuchDevice", 2, PortAbsence::Missing},
                      Absence{"AccessDeniedAsWindowsAndTheEmulationSayHeld", 5, PortAbsence::InUse},
                      Absence{"AccessDeniedToAUserTheDeviceKeepsOut", 5,
                              PortAbsence::NoPermission, true},
                      Absence{"OnlyAnAccessDeniedIsPermissions", 32, PortAbsence::InUse, true},
                      Absence{"SharingViolation", 32, PortAbsence::InUse},
                      Absence{"LockConflictAsWineSaysHeld", 33, PortAbsence::InUse},
                      Absence{"NotACommDevice", 6, PortAbsence::Missing}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PortSetup, OpensWithTheLinkSettings) {
  state().portNumber = 3;
  state().speed = 38400;
  OtwarciePortu();
  EXPECT_EQ(printer().calls(),
            (Calls{"UstawCTS(1)", "InitializePort(3,38400,3,3)", "ChangeParity(2)"}));
  EXPECT_EQ(state().portOpen, 1);
  EXPECT_TRUE(printer().portOpen());
}

TEST_F(PortSetup, OpeningAgainClosesFirst) {
  OtwarciePortu();
  OtwarciePortu();
  EXPECT_EQ(printer().calls(), (Calls{"UstawCTS(1)", "InitializePort(1,9600,3,3)",
                                      "ChangeParity(2)", "UnInitializePort()", "UstawCTS(1)",
                                      "InitializePort(1,9600,3,3)", "ChangeParity(2)"}));
  EXPECT_EQ(state().portOpen, 1);
}

TEST_F(PortSetup, FailedOpenLeavesNothingToClose) {
  printer().initializeResult = 2;
  OtwarciePortu();
  ZamknieciePortu();
  EXPECT_EQ(printer().calls(), (Calls{"UstawCTS(1)", "InitializePort(1,9600,3,3)"}));
  EXPECT_EQ(state().portOpen, 0);
}

TEST_F(PortSetup, ParityIsBestEffort) {
  printer().parityResult = false;
  OtwarciePortu();
  EXPECT_EQ(state().portOpen, 1);

  printer().reset();
  state().parity = 3;  // not a parity the port knows: left alone
  OtwarciePortu();
  EXPECT_EQ(printer().calls(),
            (Calls{"UnInitializePort()", "UstawCTS(1)", "InitializePort(1,9600,3,3)"}));
}

TEST_F(PortSetup, ClosingIsSafeAtAnyTime) {
  ZamknieciePortu();
  EXPECT_TRUE(printer().calls().empty());
  OtwarciePortu();
  ZamknieciePortu();
  ZamknieciePortu();
  EXPECT_EQ(printer().calls().back(), "UnInitializePort()");
  EXPECT_EQ(printer().calls().size(), 4u);
  EXPECT_EQ(state().portOpen, 0);
}

TEST_F(PortSetup, PresenceIsTheSerialUnitsAnswer) {
  printer().presentPorts = {0, 4};
  EXPECT_EQ(ObecnoscPortu(0), 1);
  EXPECT_EQ(ObecnoscPortu(4), 1);
  EXPECT_EQ(ObecnoscPortu(3), 0);
  EXPECT_EQ(printer().calls(),
            (Calls{"SerialPortPresent(0)", "SerialPortPresent(4)", "SerialPortPresent(3)"}));
}

TEST_F(PortSetup, EveryByteTransferRewritesThePortErrorFlag) {
  OtwarciePortu();
  printer().expect({0x10}).failWrite().expect({0x12}).reply({0x33}).silence().reply({0x44});
  ZapisDoPortu(0x10);
  EXPECT_EQ(state().portError, 0);
  ZapisDoPortu(0x11);
  EXPECT_EQ(state().portError, 1);
  ZapisDoPortu(0x12);
  EXPECT_EQ(state().portError, 0);
  EXPECT_EQ(OdczytZPortu(), 0x33);
  EXPECT_EQ(state().portError, 0);
  OdczytZPortu();
  EXPECT_EQ(state().portError, 1);
  EXPECT_EQ(OdczytZPortu(), 0x44);
  EXPECT_EQ(state().portError, 0);
  EXPECT_TRUE(printer().scriptDone());
}

// What the port said when a byte failed, read as it failed: the modem lines
// for a write (CTS off holds the printer's line), and for a failure whose
// error may mean a device gone, whether the port's name still opens.
struct FailedByte {
  const char* name;
  bool writing;
  std::optional<std::uint32_t> modemLines;
  std::int32_t failureError;
  bool unplugs;
  PortFault fault;
  bool probed;  // the port's name was looked up
};

class ByteFailure : public PortSetup, public ::testing::WithParamInterface<FailedByte> {};

TEST_P(ByteFailure, SaysWhatThePortSaid) {
  const FailedByte& f = GetParam();
  state().portNumber = 3;
  OtwarciePortu();
  printer().modemLines = f.modemLines;
  printer().failureError = f.failureError;
  printer().unplugs = f.unplugs;
  if (f.writing) {
    printer().failWrite().expect({0x12});
    ZapisDoPortu(0x11);
  } else {
    printer().silence().expect({0x12});
    OdczytZPortu();
  }
  EXPECT_EQ(state().portError, 1);
  EXPECT_EQ(PowodBleduPortu(), f.fault);
  const bool probed = printer().calls().back() == "SerialPortPresent(3)";
  EXPECT_EQ(probed, f.probed);
  // The next byte that moves says nothing more.
  ZapisDoPortu(0x12);
  EXPECT_EQ(PowodBleduPortu(), PortFault::None);
}

constexpr std::uint32_t kCtsOn = 0x10, kDsrOn = 0x20;

INSTANTIATE_TEST_SUITE_P(
    PortSetup, ByteFailure,
    ::testing::Values(
        FailedByte{"WriteWithCtsOff", true, kDsrOn, 0, false, PortFault::CtsOff, false},
        FailedByte{"WriteWithCtsOn", true, kCtsOn, 0, false, PortFault::None, false},
        FailedByte{"WriteWithoutModemLines", true, std::nullopt, 0, false, PortFault::None, false},
        FailedByte{"ReadWithCtsOff", false, 0, 0, false, PortFault::None, false},
        FailedByte{"WriteToAPulledOutAdapter", true, 0, 1167, true, PortFault::PortGone, true},
        FailedByte{"ReadFromAPulledOutAdapter", false, std::nullopt, 1167, true,
                   PortFault::PortGone, true},
        FailedByte{"WindowsBadCommandOfAGoneDevice", false, std::nullopt, 22, true,
                   PortFault::PortGone, true},
        FailedByte{"NotConnectedButTheNameStillOpens", true, kCtsOn, 1167, false, PortFault::None,
                   true},
        FailedByte{"GoneButTheErrorSaysOtherwise", false, std::nullopt, 1460, true,
                   PortFault::None, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voren
