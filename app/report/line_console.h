#pragma once
// A console without a screen, for an update someone else shows: what the
// update writes comes out a completed line at a time, blank lines left out.
// It places no cursor and reads no key, so a waiting key is always there.
#include <functional>
#include <string>

#include "app/station/station_protocol.h"
#include "platform/console/console.h"

namespace voren {

class LineConsole final : public Console {
 public:
  explicit LineConsole(std::function<void(const std::string&)> onLine)
      : onLine_(std::move(onLine)) {}
  // A last line without its line end comes out too.
  ~LineConsole() override { flush(); }
  void flush() {
    if (const auto last = lines_.finish()) take(*last);
  }

  void clear() override {}
  void write(std::string_view text) override {
    for (const auto& line : lines_.feed(text)) take(line);
  }
  std::optional<Key> readKey() override { return std::nullopt; }
  bool keyWaiting() override { return true; }
  std::optional<CursorPosition> cursor() override { return std::nullopt; }
  void moveToColumn(int) override {}
  void moveRows(int) override {}
  std::optional<WindowSize> windowSize() override { return std::nullopt; }
  unsigned windowChanges() override { return 0; }

 private:
  void take(const std::string& line) {
    if (!line.empty()) onLine_(line);
  }
  std::function<void(const std::string&)> onLine_;
  LineSplitter lines_;
};

}  // namespace voren
