#include "app/upload.h"

#include <string>

#include "app/texts.h"
#include "app/update_state.h"
#include "link/command_table.h"
#include "link/exchange.h"
#include "link/link_state.h"
#include "link/result_codes.h"
#include "platform/console/console.h"

namespace voren {

namespace {

constexpr std::uint8_t kBlockCommand = 1;
constexpr std::uint8_t kHalfData = 128;
constexpr std::uint8_t kHalfCount = kHalfData + 2;

void put(std::size_t index, std::uint8_t byte) {
  linkState().frame[index] = byte;
  AktualizacjaCRC(byte);
}

// One attempt at block i: both halves, the second only after the first went through.
void sendBlock(GlyphTableView table, std::uint32_t i) {
  LinkState& link = linkState();
  const std::size_t t = kBlockSize * i;
  const std::uint32_t address = kFirstBlockAddress + i;

  link.crc = 0;
  put(kSendArea, BajtLiczby(2, address));
  put(kSendArea + 1, BajtLiczby(1, address));
  for (std::size_t k = 0; k < kHalfData; ++k) put(kSendArea + 2 + k, table[t + k]);
  WykonanieRozkazu(kBlockCommand, 1, kHalfCount, 1);
  if (link.resultCode != KodBledu(blad::kBrak)) return;

  for (std::size_t k = 0; k < kHalfData; ++k) put(kSendArea + k, table[t + kHalfData + k]);
  link.frame[kSendArea + kHalfData] = BajtLiczby(2, link.crc);
  link.frame[kSendArea + kHalfData + 1] = BajtLiczby(1, link.crc);
  WymianaRozkazu(2, 0, 0, kHalfCount, 1);

  // The engine reports status 1 as an invalid answer and 2 as a printer
  // error; after the second half both mean a damaged block, told by the status.
  const std::uint8_t status = link.frame[kAnswerArea];
  const bool damaged = status == blad::kSumaCrc || status == blad::kWeryfikacja;
  if (damaged && link.resultCode == KodBledu(statusErrorNumber(status))) link.resultCode = status;
}

void startProgress(Console& console) {
  UpdateState& u = updateState();
  console.write(format("\n\nTrwa aktualizacja %s: 0%%", "strony kodowej"));
  u.progressShown = 0;
  const auto at = console.cursor();
  u.progressInPlace = at.has_value();
  if (at) u.progressColumn = at->column - 2;
}

void showProgress(Console& console, int percent) {
  UpdateState& u = updateState();
  if (u.progressInPlace) {
    // The percentage never gets shorter, so it covers the one before. The
    // row is wherever the cursor is now: the window may have scrolled.
    console.moveToColumn(u.progressColumn);
    console.write(format("%d%%", percent));
  } else if (percent / 10 > u.progressShown / 10) {
    // Without a cursor to move (output to a file or a pipe) every tenth is
    // appended, so the line stays short and readable.
    console.write(format(" %d%%", percent));
  }
  u.progressShown = percent;
}

}  // namespace

void uploadGlyphTable(Console& console, GlyphTableView table) {
  UpdateState& u = updateState();
  LinkState& link = linkState();
  startProgress(console);
  u.repeatCounter = 0;
  link.resultCode = KodBledu(blad::kBrak);

  for (u.blockIndex = 0; u.blockIndex < kBlockCount;) {
    sendBlock(table, u.blockIndex);
    const std::uint8_t code = link.resultCode;
    if (code == blad::kSumaCrc || code == blad::kWeryfikacja) {
      if (++u.repeatCounter > kMaxRepeats) return;
      link.resultCode = KodBledu(blad::kBrak);
      continue;
    }
    if (code != KodBledu(blad::kBrak)) return;
    u.repeatCounter = 0;
    ++u.blockIndex;
    showProgress(console, static_cast<int>(u.blockIndex * 100 / kBlockCount));
  }
}

}  // namespace voren
