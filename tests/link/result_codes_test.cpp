#include "link/result_codes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string_view>
#include <vector>

#include "link/command_table.h"
#include "link/link_state.h"
#include "tests/support/printer_model.h"

namespace voren {
namespace {

// An internal error number and a result code do not mix: neither is
// assigned to, compared with or mapped as the other, nor as a bare byte
// (a raw status is neither).
template <class To, class From>
concept Assignable = requires(To to, From from) {
  to = from;
};
template <class A, class B>
concept Comparable = requires(A a, B b) {
  a == b;
};
template <class N>
concept Mappable = requires(N n) {
  KodBledu(n);
};

static_assert(Assignable<ResultCode&, ResultCode> && Comparable<ResultCode, ResultCode>);
static_assert(!Assignable<ResultCode&, ErrorNumber> && !Assignable<ErrorNumber&, ResultCode>);
static_assert(!Assignable<ResultCode&, std::uint8_t> && !Assignable<ErrorNumber&, std::uint8_t>);
static_assert(!Comparable<ResultCode, ErrorNumber> && !Comparable<ErrorNumber, ResultCode>);
static_assert(!Comparable<ResultCode, int> && !Comparable<ErrorNumber, int>);
static_assert(Mappable<ErrorNumber> && !Mappable<ResultCode> && !Mappable<std::uint8_t>);

int kod(int numer) { return static_cast<int>(KodBledu(ErrorNumber(numer))); }

TEST(KodBledu, MapsEachRangeOfInternalNumbers) {
  const std::vector<std::pair<int, int>> cases = {
      {0, 0},    {20, 20},  {62, 62},   {63, 101},  {67, 105},  {68, 107},
      {79, 118}, {80, 200}, {90, 210},  {92, 212},  {93, 215},  {94, 217},
      {95, 220}, {97, 222}, {106, 231}, {107, 107}, {128, 128}, {255, 255}};
  for (auto [numer, code] : cases) EXPECT_EQ(kod(numer), code) << "number " << numer;
}

TEST(KodBledu, PrinterStatusesReadAsStatusPlusHundredAndNeverCollide) {
  // The numbers the status table gives back for status s: s + 62, s + 61, s - 20, ...
  const std::vector<std::pair<int, int>> statusToNumber = {
      {2, 64},   {5, 67},   {7, 68},   {18, 79},  {100, 80}, {109, 89},
      {111, 91}, {112, 92}, {115, 93}, {117, 94}, {120, 95}, {131, 106}};
  for (auto [s, numer] : statusToNumber) {
    EXPECT_EQ(static_cast<int>(statusErrorNumber(s)), numer) << "status " << s;
    EXPECT_EQ(kod(numer), s + 100) << "status " << s;
  }
  // Statuses outside the printer's error list are a wrong answer, 1 among them.
  for (int s : {1, 6, 19, 99, 110, 113, 132, 255}) {
    EXPECT_EQ(KodBledu(statusErrorNumber(s)), KodBledu(ErrorNumber::NiepoprawnaOdpowiedz)) << s;
  }

  std::set<int> used;
  for (int n = 63; n <= 106; ++n) EXPECT_TRUE(used.insert(kod(n)).second) << n;
  for (int never : {106, 213, 214, 216, 218, 219}) EXPECT_EQ(used.count(never), 0u) << never;
}

TEST(BajtLiczby, CountsBytesFromTheLeastSignificantEnd) {
  EXPECT_EQ(BajtLiczby(1, 320), 64);
  EXPECT_EQ(BajtLiczby(2, 320), 1);
  EXPECT_EQ(BajtLiczby(3, 320), 0);
  EXPECT_EQ(BajtLiczby(3, 0x12345678), 0x34);
  EXPECT_EQ(BajtLiczby(4, 0x12345678), 0x12);
  EXPECT_EQ(BajtLiczby(5, 0xFFFFFFFF), 0);
}

void fold(std::string_view bytes) {
  for (char c : bytes) AktualizacjaCRC(static_cast<std::uint8_t>(c));
}

TEST(AktualizacjaCRC, GivesTheCheckValueAndCancelsItself) {
  resetLinkState();
  fold("123456789");
  EXPECT_EQ(linkState().crc, 0xBB3Du);
  AktualizacjaCRC(0x3D);
  AktualizacjaCRC(0xBB);
  EXPECT_EQ(linkState().crc, 0u);
}

TEST(AktualizacjaCRC, AgreesWithABitwiseCrcOverEveryByteValue) {
  std::vector<std::uint8_t> bytes;
  for (int round = 0; round < 3; ++round) {
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<std::uint8_t>(b * 7 + round));
  }
  resetLinkState();
  for (std::uint8_t b : bytes) AktualizacjaCRC(b);
  EXPECT_EQ(linkState().crc, test::crc16Arc(bytes));
}

}  // namespace
}  // namespace voren
