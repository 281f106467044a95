#include "app/upload.h"

#include <optional>
#include <string>

#include "app/texts.h"
#include "app/updater.h"
#include "link/command_table.h"
#include "link/exchange.h"
#include "link/link_state.h"
#include "link/printer_protocol.h"
#include "link/result_codes.h"
#include "platform/console/console.h"
#include "platform/process/cpu_placement.h"

namespace voren {

namespace {

static_assert(kGlyphTableSize == kBlockCount * kBlockSize);

// The upload's own state: one upload at a time, started afresh each time.
struct UploadState {
  std::uint32_t blockIndex = 0;    // 0 to 143
  std::uint8_t repeatCounter = 0;  // repeats of the current block so far
  int progressColumn = 1;          // where the percentage starts, on the cursor's row
  bool progressInPlace = true;     // false when the console cannot place the cursor
  int progressShown = 0;           // the last percentage written
  unsigned windowChanges = 0;      // the console's count when the column was found
};

bool succeeded(const LinkState& link) { return link.resultCode == KodBledu(ErrorNumber::Brak); }

void put(std::size_t index, std::uint8_t byte) {
  linkState().frame[index] = byte;
  AktualizacjaCRC(byte);
}

// Whether the printer reported the block damaged, after its second half:
// the exchange failed on the status byte, and that status is 1 (checksum) or
// 2 (verification). The exchange has reported them as a wrong answer and a
// printer error; the status tells the damage apart. Nothing after the first
// half, nor any other failure, counts as a damaged block.
std::optional<ErrorNumber> reportedDamage(const LinkState& link) {
  const std::uint8_t status = link.frame[kAnswerArea];
  if (link.resultCode != KodBledu(statusErrorNumber(status))) return std::nullopt;
  if (status == kStatusCrc) return ErrorNumber::SumaCrc;
  if (status == kStatusVerification) return ErrorNumber::Weryfikacja;
  return std::nullopt;
}

// One attempt at block i: both halves, the second only after the first went
// through. The damage the printer reported, if it did; the result code then
// names it.
std::optional<ErrorNumber> sendBlock(GlyphTableView table, std::uint32_t i) {
  LinkState& link = linkState();
  const std::size_t t = kBlockSize * i;
  const std::uint32_t address = kFirstBlockAddress + i;

  link.crc = kCrcStart;
  put(kSendArea, BajtLiczby(2, address));
  put(kSendArea + 1, BajtLiczby(1, address));
  for (std::size_t k = 0; k < kHalfData; ++k) put(kSendArea + 2 + k, table[t + k]);
  WykonanieRozkazu(kBlockCommand, 1, kHalfLength, 1);
  if (!succeeded(link)) return std::nullopt;

  for (std::size_t k = 0; k < kHalfData; ++k) put(kSendArea + k, table[t + kHalfData + k]);
  link.frame[kSendArea + kHalfData] = BajtLiczby(2, link.crc);
  link.frame[kSendArea + kHalfData + 1] = BajtLiczby(1, link.crc);
  WymianaRozkazu(2, 0, 0, kHalfLength, 1);

  const auto damage = reportedDamage(link);
  if (damage) link.resultCode = KodBledu(*damage);
  return damage;
}

// Finds where the percentage written last starts: the cursor stands right
// after it. Rewritten there while "100%" fits before the window's last
// column (a console that wraps at once would move the cursor to the next
// row); otherwise the rest is appended.
void findProgressColumn(Console& console, UploadState& u) {
  u.windowChanges = console.windowChanges();
  const auto at = console.cursor();
  u.progressColumn = at ? at->column - static_cast<int>(format("%d%%", u.progressShown).size()) : 0;
  const auto size = console.windowSize();
  u.progressInPlace =
      at && u.progressColumn >= 1 && (!size || u.progressColumn + 4 <= size->columns);
}

void startProgress(Console& console, UploadState& u) {
  console.write(format("\n\nTrwa aktualizacja %s: 0%%", "strony kodowej"));
  u.progressShown = 0;
  findProgressColumn(console, u);
}

void showProgress(Console& console, UploadState& u, int percent) {
  // A resize may have rewrapped the line, and after Ctrl-Z and fg the
  // shell's text stands below it: the cursor tells whether it still holds.
  if (u.progressInPlace && console.windowChanges() != u.windowChanges) {
    findProgressColumn(console, u);
  }
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

bool uploadGlyphTable(Console& console, GlyphTableView table, UpdateWatcher* watcher) {
  UploadState u;
  LinkState& link = linkState();
  if (!watcher) startProgress(console, u);
  link.resultCode = KodBledu(ErrorNumber::Brak);

  while (u.blockIndex < kBlockCount) {
    // Between blocks only: a block half sent would leave the printer
    // waiting for the rest.
    if (watcher && watcher->stopRequested()) return false;
    if (sendBlock(table, u.blockIndex)) {  // damaged: the same block again
      if (++u.repeatCounter > kMaxRepeats) return true;
      if (watcher) watcher->blockRepeated(u.blockIndex, link.frame[kAnswerArea]);
      link.resultCode = KodBledu(ErrorNumber::Brak);
      continue;
    }
    if (!succeeded(link)) return true;
    reviewPlacement();
    u.repeatCounter = 0;
    ++u.blockIndex;
    const int percent = static_cast<int>(u.blockIndex * 100 / kBlockCount);
    if (watcher) {
      watcher->blockTaken(u.blockIndex - 1, percent);
    } else {
      showProgress(console, u, percent);
    }
  }
  return true;
}

}  // namespace voren
