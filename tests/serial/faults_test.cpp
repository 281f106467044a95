// Failure paths that need a platform call to fail: the texts they leave, and
// that the caller of a transfer always gets its answer.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/win32/win32_faults.h"
#include "serial/comm.h"
#include "serial/port_functions.h"
#include "serial/texts.h"
#include "serial/unit_state.h"
#include "tests/serial/peer_port.h"
#include "tests/serial/unit_fixture.h"

namespace winseria {
namespace {

namespace faults = voren::faults;
using Clock = std::chrono::steady_clock;
using faults::Call;

class FaultTest : public voren::test::SerialUnitTest {
 protected:
  void SetUp() override {
    SerialUnitTest::SetUp();
    if (!faults::available()) GTEST_SKIP() << "the real Win32 API cannot be made to fail";
    faults::reset();
  }
  void TearDown() override {
    faults::reset();
    SerialUnitTest::TearDown();
  }

  std::string_view recorded() const { return unitState().LastError.LastErrorText; }
  int32_t recordedCode() const { return unitState().LastError.LastErrorCode; }
};

TEST_F(FaultTest, OpenNamesTheFailureByPlatformError) {
  const struct {
    DWORD error;
    std::string_view text;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, texts::kBrakUrzadzenia},
      {ERROR_ACCESS_DENIED, texts::kZabronionyDostep},
      {ERROR_INVALID_HANDLE, texts::kNiepoprawnyUchwyt},
      {ERROR_INVALID_NAME, texts::kBledneUrzadzenie},
      {ERROR_GEN_FAILURE, texts::kBledneUrzadzenie},
  };
  for (const auto& c : cases) {
    faults::failCall(Call::CreateFileA, c.error);
    TComm port;
    port.SetParameters(5, 38400, 3, 3);
    EXPECT_EQ(port.Open(), c.error);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(recorded(), c.text) << c.error;
    EXPECT_EQ(recordedCode(), static_cast<int32_t>(c.error));
  }
}

TEST_F(FaultTest, ChannelOutsideTheFiveSetsNoLine) {
  // A planned failure of the next line call is still there afterwards.
  faults::failCall(Call::EscapeCommFunction, ERROR_GEN_FAILURE);
  EXPECT_EQ(port::UstawKanal(5), 0);
  EXPECT_EQ(port::UstawKanal(255), 0);
  EXPECT_EQ(port::SetDTRLine(), 0);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_GEN_FAILURE}) << "UstawKanal set a line for channel 5";
}

class FaultDeviceTest : public FaultTest {
 protected:
  void SetUp() override {
    FaultTest::SetUp();
    if (IsSkipped()) return;
    port_ = static_cast<uint8_t>(voren::test::testPort());
    if (port_ == 0) GTEST_SKIP() << "needs a linked port pair";
    printer_ = std::make_unique<voren::test::PeerPort>(voren::test::peerPort());
  }

  void open() { ASSERT_EQ(port::InitializePort(port_, 38400, 3, 3), 0) << recorded(); }

  // Opens and moves a byte, so that the event worker has met its first event
  // and waits for the disconnect: its signals then no longer count among the
  // calls a test plans to fail.
  void openSettled() {
    open();
    stillWorks();
    Sleep(100);
  }

  // A transfer that must answer at once, whatever failed inside it.
  static int32_t answersAtOnce(const std::function<int32_t()>& transfer) {
    return voren::test::answerWithin(std::chrono::seconds(1), "the transfer", transfer);
  }

  // The port still moves bytes afterwards.
  void stillWorks() {
    ASSERT_EQ(port::WriteThroughWorker(0x55), 1) << recorded();
    EXPECT_EQ(printer_->read(2000), 0x55);
  }

  uint8_t port_ = 0;
  std::unique_ptr<voren::test::PeerPort> printer_;
};

// A printer that holds CTS off lets the write time out, and the modem
// status read then says so; a pseudo-terminal without a held line has no
// modem lines to read, which is no "all off".
TEST_F(FaultDeviceTest, WriteHeldByCtsTimesOutWithCtsReadOff) {
  ASSERT_EQ(port::InitializePort(port_, 38400, 1, 1), 0) << recorded();
  faults::holdCts(true);
  EXPECT_EQ(voren::test::answerWithin(std::chrono::seconds(3), "the write held by CTS",
                                      [] { return port::WriteThroughWorker(0x1B); }),
            0);
  uint32_t lines = MS_CTS_ON;
  EXPECT_EQ(port::ReadModemStatus(&lines), 1);
  EXPECT_EQ(lines & MS_CTS_ON, 0u);
  faults::holdCts(false);
  EXPECT_EQ(port::ReadModemStatus(&lines), 0);
  EXPECT_EQ(port::ModemStatus(), 0);
  EXPECT_EQ(port::UnInitializePort(), 0);
}

TEST_F(FaultDeviceTest, FailedFileTypeQueryClosesTheDeviceWithItsError) {
  faults::failCall(Call::GetFileType, ERROR_GEN_FAILURE);
  TComm port;
  port.SetParameters(port_, 38400, 3, 3);
  EXPECT_EQ(port.Open(), DWORD{ERROR_GEN_FAILURE});
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(recorded(), std::string_view(texts::kNiepoprawnyUchwyt));
}

TEST_F(FaultDeviceTest, SetupStepsReportTheirOwnTexts) {
  faults::failCall(Call::SetupComm, ERROR_GEN_FAILURE);
  EXPECT_EQ(port::InitializePort(port_, 38400, 3, 3), ERROR_GEN_FAILURE);
  EXPECT_EQ(recorded(), std::string_view(texts::kBladBuforow));
  // The device stays open with its workers until UnInitializePort.
  EXPECT_EQ(port::InitializePort(port_, 38400, 3, 3), 5);
  EXPECT_EQ(port::UnInitializePort(), 0);

  faults::failCall(Call::GetCommTimeouts, ERROR_GEN_FAILURE);
  EXPECT_EQ(port::InitializePort(port_, 38400, 3, 3), ERROR_GEN_FAILURE);
  EXPECT_EQ(recorded(), std::string_view(texts::kBladOdczytuCzasow));
  EXPECT_EQ(port::UnInitializePort(), 0);

  faults::failCall(Call::SetCommState, ERROR_GEN_FAILURE);
  EXPECT_EQ(port::InitializePort(port_, 38400, 3, 3), ERROR_GEN_FAILURE);
  EXPECT_EQ(recorded(), std::string_view(texts::kBladAktualizacjiDcb));
  EXPECT_EQ(port::UnInitializePort(), 0);
}

TEST_F(FaultDeviceTest, EngineThatCannotTakeItsRequestStillAnswers) {
  openSettled();
  // The caller resets the idle signal, the worker resets it again, then the
  // engine resets its request: that third reset fails.
  faults::failCall(Call::ResetEvent, ERROR_INVALID_HANDLE, 1, 2);
  EXPECT_EQ(answersAtOnce([] { return port::WriteThroughWorker(0x41); }), 0);
  EXPECT_EQ(port::TimeOut(), 1);
  EXPECT_EQ(recorded(), std::string_view(texts::kBladZamknieciaUchwytu));
  // The request is still set: the worker retires instead of running it
  // again, and the byte never leaves.
  EXPECT_EQ(answersAtOnce([] { return port::WriteThroughWorker(0x42); }), 0);
  EXPECT_EQ(printer_->read(300), std::nullopt);
  EXPECT_EQ(port::UnInitializePort(), 0);
  open();
  stillWorks();
}

TEST_F(FaultDeviceTest, EngineWithoutCompletionEventStillAnswers) {
  openSettled();
  faults::failCall(Call::CreateEventA, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(answersAtOnce([] { return port::WriteThroughWorker(0x41); }), 0);
  EXPECT_EQ(recorded(), std::string_view(texts::kBladCreateEventSpacja));
  stillWorks();

  // The read goes on without its own event and fails its wait.
  faults::failCall(Call::CreateEventA, ERROR_NOT_ENOUGH_MEMORY);
  uint8_t byte = 0;
  EXPECT_EQ(answersAtOnce([&] { return port::ReadThroughWorker(&byte); }), 0);
  stillWorks();
}

TEST_F(FaultDeviceTest, RefusedTransfersReportAndMoveNothing) {
  openSettled();
  faults::failCall(Call::WriteFile, ERROR_GEN_FAILURE);
  EXPECT_EQ(answersAtOnce([] { return port::WriteThroughWorker(0x41); }), 0);
  EXPECT_EQ(recorded(), std::string_view(texts::kNiepoprawnyZapisDoPortu));
  EXPECT_EQ(port::TimeOut(), 1);

  faults::failCall(Call::ReadFile, ERROR_GEN_FAILURE);
  uint8_t byte = 0x77;
  EXPECT_EQ(answersAtOnce([&] { return port::ReadThroughWorker(&byte); }), 0);
  EXPECT_EQ(recorded(), std::string_view(texts::kNiepoprawnyOdczyt));
  EXPECT_EQ(byte, 0x77);
  stillWorks();
}

TEST_F(FaultDeviceTest, TransferThatCannotBeRequestedGivesTheClaimBack) {
  openSettled();
  // The caller's request is the transfer's first signal.
  faults::failCall(Call::SetEvent, ERROR_INVALID_HANDLE);
  EXPECT_EQ(answersAtOnce([] { return port::WriteThroughWorker(0x41); }), 0);
  EXPECT_EQ(recorded(), std::string_view(texts::kBladSygnalizacjiZdarzenia));
  EXPECT_EQ(printer_->read(300), std::nullopt);
  EXPECT_EQ(answersAtOnce([] { return port::WriteThroughWorker(0x42); }), 1)
      << "the claim was kept";
  EXPECT_EQ(printer_->read(2000), 0x42);
}

TEST_F(FaultDeviceTest, WorkerThatCannotSignalItsEndRetiresAndReleasesTheCaller) {
  openSettled();
  // The caller sets the request, then the engine fails to set the idle signal.
  faults::failCall(Call::SetEvent, ERROR_INVALID_HANDLE, 1, 1);
  EXPECT_EQ(answersAtOnce([] { return port::WriteThroughWorker(0x41); }), 0);
  // The byte left before the signal failed; only its report is lost.
  EXPECT_EQ(printer_->read(2000), 0x41);
  // Every later transfer answers at once too, until the port is reopened.
  EXPECT_EQ(answersAtOnce([] { return port::WriteThroughWorker(0x42); }), 0);
  uint8_t byte = 0;
  EXPECT_EQ(answersAtOnce([&] { return port::ReadThroughWorker(&byte); }), 0);
  EXPECT_EQ(port::UnInitializePort(), 0);
  open();
  stillWorks();
}

TEST_F(FaultDeviceTest, TransferWorkerThatNeverStartedLeavesTheCallerAWayOut) {
  // The event worker's thread comes first, the transfer worker's second.
  faults::failCall(Call::CreateThread, ERROR_NOT_ENOUGH_MEMORY, 1, 1);
  open();
  EXPECT_EQ(answersAtOnce([] { return port::WriteThroughWorker(0x41); }), 0);
  uint8_t byte = 0;
  EXPECT_EQ(answersAtOnce([&] { return port::ReadThroughWorker(&byte); }), 0);
  EXPECT_EQ(port::UnInitializePort(), 0);
}

TEST_F(FaultDeviceTest, PriorityClassComesBackWhenItCannotBeReadAtDisconnect) {
  const voren::test::NormalPriorityClass normal;
  const unsigned long before = voren::test::processPriorityClass();
  open();
  ASSERT_EQ(voren::test::processPriorityClass(), voren::test::highPriorityClass());
  // The disconnect's query of the current class is refused.
  faults::failCall(Call::OpenProcess, ERROR_ACCESS_DENIED);
  EXPECT_EQ(port::UnInitializePort(), 0);
  EXPECT_EQ(voren::test::processPriorityClass(), before);
}

TEST_F(FaultDeviceTest, LineErrorAbortsTheReadUntilDisconnectClearsIt) {
  open();
  // The error must meet the read under way, not refuse it before it starts.
  std::thread uart([] {
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (!unitState().Transfer.ReadWaiting && Clock::now() < until) Sleep(1);
    faults::raiseLineError(CE_FRAME);
  });
  uint8_t byte = 0;
  const auto start = Clock::now();
  EXPECT_EQ(port::ReadThroughWorker(&byte), 0);
  uart.join();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(recorded(), std::string_view(texts::kOdczytPrzerwanyBezKropki));
  // The error state holds until the event worker's hand-over clears it,
  // which only the disconnect runs.
  EXPECT_EQ(answersAtOnce([] { return port::WriteThroughWorker(0x41); }), 0);
  EXPECT_EQ(recorded(), std::string_view(texts::kNiepoprawnyZapisDoPortu));
  EXPECT_EQ(port::UnInitializePort(), 0);
  EXPECT_EQ(recorded(), std::string_view(texts::kCeFrame));
  EXPECT_EQ(recordedCode(), CE_FRAME);
  open();
  stillWorks();
}

}  // namespace
}  // namespace winseria
