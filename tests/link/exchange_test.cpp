#include "link/exchange.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "link/link_state.h"
#include "link/port_setup.h"
#include "link/printer_protocol.h"
#include "link/result_codes.h"
#include "tests/support/scripted_printer.h"

namespace voren {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string hex(const Bytes& bytes) {
  std::string text;
  for (std::uint8_t b : bytes) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", b);
    text += two;
  }
  return text;
}

Bytes range(std::uint8_t first, std::size_t count) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

class Exchange : public ::testing::Test {
 protected:
  void SetUp() override {
    resetLinkState();
    printer().reset();
    OtwarciePortu();
  }
  void TearDown() override { EXPECT_TRUE(printer().scriptDone()) << printer().transcript(); }

  static test::ScriptedPrinter& printer() { return test::scriptedPrinter(); }
  static LinkState& state() { return linkState(); }
  static int code() { return static_cast<int>(state().resultCode); }
  static std::uint8_t answer(std::size_t i) { return state().frame[i]; }

  void placeData(const Bytes& data) {
    std::copy(data.begin(), data.end(), state().frame.begin() + kSendArea);
  }
};

TEST_F(Exchange, CommandWithAckDataAndStatusAsTheUpdaterSendsIt) {
  const Bytes data = range(0x40, 130);
  placeData(data);
  printer().expect({0x1B, 0x01}).reply({kAck}).expect(data).reply({0});

  WykonanieRozkazu(1, 1, 130, 1);

  EXPECT_EQ(printer().transcript(), "clear >1b01 <06 >" + hex(data) + " <00");
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(answer(2), 0);
  // The send area is left as it was, ready to be sent again.
  EXPECT_TRUE(std::equal(data.begin(), data.end(), state().frame.begin() + kSendArea));
}

TEST_F(Exchange, ContinuationSendsNoControlSequenceAndLeavesTheStatusForTheCaller) {
  const Bytes data = range(0x80, 130);
  placeData(data);
  printer().expect(data).reply({1});

  WymianaRozkazu(2, 0, 0, 130, 1);

  EXPECT_EQ(printer().transcript(), "clear >" + hex(data) + " <01");
  EXPECT_EQ(code(), 23);
  EXPECT_EQ(answer(2), 1);
}

TEST_F(Exchange, EmptyExchangesSendOnlyWhatTheModeAsks) {
  printer().expect({kEsc, 0x42, kEsc, 0x43, kEsc, 0x45});
  WymianaRozkazu(0, 0x42, 0, 0, 0);
  WymianaRozkazu(1, 0x43, 0, 0, 0);
  WymianaRozkazu(2, 0x44, 0, 0, 0);
  WymianaRozkazu(7, 0x45, 0, 0, 0);
  EXPECT_EQ(printer().transcript(), "clear >1b42 clear >1b43 clear clear >1b45");
  EXPECT_EQ(code(), 0);
}

TEST_F(Exchange, DataWithoutAnswersGoesOutAlone) {
  placeData({9, 8, 7});
  printer().expect({9, 8, 7});
  WymianaRozkazu(2, 0, 0, 3, 0);
  EXPECT_EQ(printer().transcript(), "clear >090807");
  EXPECT_EQ(code(), 0);
}

struct Refusal {
  std::uint8_t mode;
  std::uint8_t byte;
  int code;
};

class RefusedControlSequence : public Exchange, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedControlSequence, IsToldApartOnlyInModeZero) {
  const Refusal& r = GetParam();
  placeData({0x55});
  if (r.mode != 2) printer().expect({kEsc, 0x30});
  printer().reply({r.byte});

  WymianaRozkazu(r.mode, 0x30, 1, 1, 1);

  EXPECT_EQ(code(), r.code);
  EXPECT_EQ(answer(2), r.byte);
  EXPECT_TRUE(printer().scriptDone());  // no data went out after the refusal
}

INSTANTIATE_TEST_SUITE_P(Exchange, RefusedControlSequence,
                         ::testing::Values(Refusal{0, 1, 101}, Refusal{0, kNak, 24},
                                           Refusal{0, 101, 201}, Refusal{0, 200, 26},
                                           Refusal{0, 7, 23}, Refusal{1, 1, 23},
                                           Refusal{1, kNak, 24}, Refusal{1, 101, 23},
                                           Refusal{1, 200, 23}, Refusal{3, 200, 23},
                                           Refusal{2, 1, 23}, Refusal{2, kNak, 24},
                                           Refusal{2, 200, 23}),
                         [](const auto& info) {
                           const Refusal& r = info.param;
                           return "Mode" + std::to_string(r.mode) + "Byte" +
                                  std::to_string(r.byte) + "Gives" + std::to_string(r.code);
                         });

TEST_F(Exchange, CommandsWithoutAcknowledgementTakeAnyLeadingByte) {
  printer().expect({kEsc, 148}).reply({0x99});
  WykonanieRozkazu(148, 1, 0, 0);
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(answer(2), 0x99);

  printer().expect({kEsc, 148}).reply({0x99, 0x11, 0x22});
  WykonanieRozkazu(148, 3, 0, 0);
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(answer(2), 0x11);
  EXPECT_EQ(answer(3), 0x22);
}

struct FinalStatus {
  std::uint8_t status;
  int code;
};

class FinalStatusFails : public Exchange, public ::testing::WithParamInterface<FinalStatus> {};

TEST_P(FinalStatusFails, ByTheStatusTable) {
  const auto [status, expected] = GetParam();
  printer().expect({kEsc, 0x01}).reply({kAck, status});
  WykonanieRozkazu(1, 1, 0, 4);  // the rest of the answer is not read after a failure
  EXPECT_EQ(code(), expected);
  EXPECT_EQ(answer(2), status);
  EXPECT_TRUE(printer().scriptDone());
}

INSTANTIATE_TEST_SUITE_P(Exchange, FinalStatusFails,
                         ::testing::Values(FinalStatus{1, 23}, FinalStatus{2, 102},
                                           FinalStatus{5, 105}, FinalStatus{6, 23},
                                           FinalStatus{18, 118}, FinalStatus{100, 200},
                                           FinalStatus{110, 23}, FinalStatus{111, 211},
                                           FinalStatus{115, 215}, FinalStatus{117, 217},
                                           FinalStatus{131, 231}, FinalStatus{132, 23},
                                           FinalStatus{255, 23}),
                         [](const auto& info) {
                           return "Status" + std::to_string(info.param.status) + "Gives" +
                                  std::to_string(info.param.code);
                         });

TEST_F(Exchange, StatusWithTrailingBytesIsReadWholeAndStillFails) {
  printer().expect({kEsc, 0x01}).reply({kAck, 122, 0x31, 0x32});
  WykonanieRozkazu(1, 1, 0, 1);
  EXPECT_EQ(code(), 222);
  EXPECT_EQ(answer(2), 0x31);
  EXPECT_EQ(answer(3), 0x32);
}

TEST_F(Exchange, StatusWhoseTrailingBytesNeverComeIsAReadTimeOut) {
  printer().expect({kEsc, 0x01}).reply({kAck, 122}).silence();
  WykonanieRozkazu(1, 1, 0, 1);
  EXPECT_EQ(code(), 21);
}

TEST_F(Exchange, UntestedStatusIsNoFailureAndTheRestIsRead) {
  printer().expect({kEsc, 17}).reply({kAck, 5, 0xAB});
  WykonanieRozkazu(17, 1, 0, 2);
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(answer(2), 0xAB);
}

TEST_F(Exchange, KeptStatusOfCommand154) {
  printer().expect({kEsc, 154}).reply({kAck, 7});
  WykonanieRozkazu(154, 1, 0, 1);
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(answer(256), 7);
  EXPECT_EQ(answer(2), 0);
}

TEST_F(Exchange, Command160TakesAckAsSuccess) {
  printer().expect({kEsc, 160}).reply({kAck, kAck});
  WykonanieRozkazu(160, 1, 0, 1);
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(answer(2), 0);

  printer().expect({kEsc, 160}).reply({kAck, 3});
  WykonanieRozkazu(160, 1, 0, 1);
  EXPECT_EQ(code(), 103);
}

TEST_F(Exchange, Command229StatusSaysHowMuchFollows) {
  for (const std::uint8_t nothingFollows : {253, 254}) {
    printer().expect({kEsc, 229}).reply({kAck, nothingFollows});
    WykonanieRozkazu(229, 1, 0, 9);
    EXPECT_EQ(code(), 0) << int{nothingFollows};
    EXPECT_EQ(answer(256), nothingFollows);
    EXPECT_EQ(answer(2), 0);
  }

  const Bytes seventeen = range(0x20, 17);
  printer().expect({kEsc, 229}).reply({kAck, 251}).reply(seventeen);
  WykonanieRozkazu(229, 1, 0, 1);
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(answer(18), 0x30);
  EXPECT_EQ(answer(256), 251);

  printer().expect({kEsc, 229}).reply({kAck, 250}).reply(range(0, 42));
  WykonanieRozkazu(229, 1, 0, 1);
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(answer(43), 41);

  state().deviceModel = 27;
  printer().expect({kEsc, 229}).reply({kAck, 250}).reply(range(0, 38));
  WykonanieRozkazu(229, 1, 0, 1);
  EXPECT_EQ(code(), 0);

  printer().expect({kEsc, 229}).reply({kAck, 249});
  WykonanieRozkazu(229, 1, 0, 1);
  EXPECT_EQ(code(), 23);
}

// A list of 8-byte records from index 2 ends at a record starting with 0xFF.
TEST_F(Exchange, ListAnswersEndAtARecordThatStartsWithTheMark) {
  printer().expect({kEsc, 234}).reply({kAck, 0xFF});
  WykonanieRozkazu(234, 50, 0, 0);
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(answer(2), 0xFF);

  Bytes records = {1, 0xFF, 3, 4, 5, 6, 7, 8, 0xFF};  // the mark at index 3 is data
  printer().expect({kEsc, 234}).reply({kAck}).reply(records);
  WykonanieRozkazu(234, 50, 0, 0);
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(answer(10), 0xFF);

  const Bytes noMark = range(0, 49);
  printer().expect({kEsc, 234}).reply({kAck}).reply(noMark);
  WykonanieRozkazu(234, 50, 0, 0);
  EXPECT_EQ(answer(50), 48);
}

// The list end mark ends a list only where a record starts (index 2, 2 + R,
// ...), whatever the record length; reading stops at the mark, so the printer
// has sent nothing after it.
TEST_F(Exchange, ListEndsOnTheMarkThatStartsARecordOfAnyLength) {
  struct Row {
    const char* name;
    std::uint8_t recordLength;
    unsigned n;
    Bytes sent;  // what the printer sends after the leading byte; all of it is read
  };
  const Row rows[] = {
      {"1-byte records, the mark third", 1, 20, {0x41, 0x42, 0xFF}},
      {"1-byte records, the mark first", 1, 20, {0xFF}},
      {"1-byte records, no mark", 1, 6, {1, 2, 3, 4, 5}},
      {"2-byte records, a mark inside one is data", 2, 20, {0x41, 0xFF, 0xFF}},
      {"no records: every mark is data", 0, 4, {0xFF, 0xFF, 0xFF}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SetUp();
    printer().reply(row.sent);
    EXPECT_TRUE(readRest(row.n, row.recordLength));
    EXPECT_EQ(code(), 0);
    EXPECT_EQ(printer().transcript(), std::string("<").append(hex(row.sent)));
  }
}

TEST_F(Exchange, Command10ReadsRecordsOnlyForTheWholeListRead) {
  Bytes list(27, 0x41);
  list.push_back(0xFF);  // index 29 starts the second record
  printer().expect({kEsc, 10}).reply({kAck}).reply(list);
  WykonanieRozkazu(10, 110, 0, 0);
  EXPECT_EQ(code(), 0);

  Bytes plain(108, 0xFF);
  printer().expect({kEsc, 10}).reply({kAck}).reply(plain);
  WykonanieRozkazu(10, 109, 0, 0);
  EXPECT_EQ(code(), 0);
  EXPECT_EQ(answer(109), 0xFF);
}

TEST_F(Exchange, Command161TakesItsRecordLengthFromTheSelector) {
  Bytes list(30, 0x41);
  list.push_back(0xFF);  // index 32
  placeData({130});
  printer().expect({kEsc, 161}).reply({kAck}).reply(list).expect({130});
  WykonanieRozkazu(161, 200, 1, 0);
  EXPECT_EQ(code(), 0);

  // An unknown selector gives no records: the answer is read to its length.
  Bytes whole(9, 0xFF);
  placeData({77});
  printer().expect({kEsc, 161}).reply({kAck}).reply(whole).expect({77});
  WykonanieRozkazu(161, 10, 1, 0);
  EXPECT_EQ(code(), 0);
}

TEST_F(Exchange, FailedWriteOfTheControlSequenceEndsTheExchange) {
  printer().failWrite();
  WykonanieRozkazu(1, 1, 130, 1);
  EXPECT_EQ(printer().transcript(), "clear >!");
  EXPECT_EQ(code(), 20);
}

TEST_F(Exchange, FailedWriteEndsTheExchangeAtThatByte) {
  placeData(range(0, 10));
  printer().expect({kEsc, 0x01}).reply({kAck}).expect(range(0, 4)).failWrite();
  WykonanieRozkazu(1, 1, 10, 1);
  EXPECT_EQ(printer().transcript(), "clear >1b01 <06 >00010203 >!");
  EXPECT_EQ(code(), 20);
}

TEST_F(Exchange, ReadTimeOutOnTheFirstAnswerSendsNoData) {
  placeData(range(0, 10));
  printer().expect({kEsc, 0x01}).silence();
  WykonanieRozkazu(1, 1, 10, 1);
  EXPECT_EQ(printer().transcript(), "clear >1b01 <!");
  EXPECT_EQ(code(), 21);
}

TEST_F(Exchange, StickyCodeStopsTheNextExchangeAfterItsFirstRead) {
  state().resultCode = KodBledu(ErrorNumber::NakNaSekwencje);
  placeData(range(0, 4));
  printer().expect({kEsc, 0x01}).reply({kAck});
  WykonanieRozkazu(1, 1, 4, 1);
  EXPECT_EQ(printer().transcript(), "clear >1b01 <06");
  EXPECT_EQ(code(), 24);

  printer().expect({0, 1, 2, 3}).silence();
  WymianaRozkazu(2, 0, 0, 4, 1);
  EXPECT_EQ(code(), 21);

  // With no answer to read nothing tests the code: the exchange runs through.
  state().resultCode = KodBledu(ErrorNumber::NakNaSekwencje);
  printer().expect({0, 1, 2, 3});
  WymianaRozkazu(2, 0, 0, 4, 0);
  EXPECT_EQ(code(), 24);
}

TEST_F(Exchange, ByteHelpersReportThroughFlagAndCode) {
  EXPECT_EQ(WyslanoDane(0), 1);
  printer().reset();  // port closed: nothing moves
  EXPECT_EQ(WyslanoDane(3), 0);
  EXPECT_EQ(printer().transcript(), ">!");
  OdczytanieBajtu();
  EXPECT_EQ(state().portError, 1);
  EXPECT_EQ(code(), 21);
}

}  // namespace
}  // namespace voren
