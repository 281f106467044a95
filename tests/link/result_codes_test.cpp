#include "link/result_codes.h"

#include <gtest/gtest.h>

#include <set>
#include <string_view>
#include <vector>

#include "link/link_state.h"
#include "tests/support/printer_model.h"

namespace voren {
namespace {

TEST(KodBledu, MapsEachRangeOfInternalNumbers) {
  const std::vector<std::pair<int, int>> cases = {
      {0, 0},    {20, 20},  {62, 62},   {63, 101},  {67, 105},  {68, 107},
      {79, 118}, {80, 200}, {90, 210},  {92, 212},  {93, 215},  {94, 217},
      {95, 220}, {97, 222}, {106, 231}, {107, 107}, {128, 128}, {255, 255}};
  for (auto [numer, code] : cases) EXPECT_EQ(KodBledu(numer), code) << "number " << numer;
}

TEST(KodBledu, PrinterStatusesReadAsStatusPlusHundredAndNeverCollide) {
  // The numbers the status table gives back for status s: s + 62, s + 61, s - 20, ...
  const std::vector<std::pair<int, int>> statusToNumber = {
      {2, 64},   {5, 67},   {7, 68},   {18, 79},  {100, 80}, {109, 89},
      {111, 91}, {112, 92}, {115, 93}, {117, 94}, {120, 95}, {131, 106}};
  for (auto [s, numer] : statusToNumber) EXPECT_EQ(KodBledu(numer), s + 100) << "status " << s;

  std::set<int> used;
  for (int n = 63; n <= 106; ++n) EXPECT_TRUE(used.insert(KodBledu(n)).second) << n;
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
