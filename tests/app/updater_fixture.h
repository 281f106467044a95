#pragma once
// Runs the whole update procedure against a scripted console and the
// protocol-following printer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/updater.h"
#include "platform/console/keyboard.h"
#include "tests/support/scripted_console.h"
#include "tests/support/scripted_printer.h"

namespace voren {

class Updater : public ::testing::Test {
 protected:
  void SetUp() override;

  // Types the keys, runs the program, returns its exit status.
  int run(std::string_view keys, const UpdateSettings& settings = {});

  static test::ScriptedPrinter& printer() { return test::scriptedPrinter(); }
  test::PrinterModel& model() { return *printer().model(); }
  // The screen's last line: the end report while the program waits.
  std::string lastLine() const { return console->lines().back(); }
  // The calls of a run to port 3 that opened and closed the port.
  static std::vector<std::string> openedAndClosed();

  test::ScriptedConsole::Options options{.width = 120};
  std::unique_ptr<test::ScriptedConsole> console;
};

}  // namespace voren
