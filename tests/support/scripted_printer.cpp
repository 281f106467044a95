#include "tests/support/scripted_printer.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace voren::test {

namespace {

std::string hex(std::uint8_t byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%02x", byte);
  return text;
}

}  // namespace

ScriptedPrinter& scriptedPrinter() {
  static ScriptedPrinter printer;
  return printer;
}

void ScriptedPrinter::reset() { *this = ScriptedPrinter{}; }

ScriptedPrinter& ScriptedPrinter::expect(const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t b : bytes) script_.push_back({Step::Kind::Expect, b});
  return *this;
}

ScriptedPrinter& ScriptedPrinter::reply(const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t b : bytes) script_.push_back({Step::Kind::Reply, b});
  return *this;
}

ScriptedPrinter& ScriptedPrinter::failWrite() {
  script_.push_back({Step::Kind::FailWrite});
  return *this;
}

ScriptedPrinter& ScriptedPrinter::silence() {
  script_.push_back({Step::Kind::Silence});
  return *this;
}

PrinterModel& ScriptedPrinter::followProtocol() {
  model_.emplace();
  return *model_;
}

// Merges a run of bytes in one direction into one token.
void ScriptedPrinter::note(char direction, const std::string& what) {
  const bool failed = what == "!";
  if (!failed && run_ == direction) {
    transcript_ += what;
    return;
  }
  if (!transcript_.empty()) transcript_ += ' ';
  transcript_ += direction;
  transcript_ += what;
  run_ = failed ? 0 : direction;
}

void ScriptedPrinter::clear() {
  if (!transcript_.empty()) transcript_ += ' ';
  transcript_ += "clear";
  run_ = 0;
  replies_.clear();  // a printer's late answer is thrown away with the input
}

bool ScriptedPrinter::write(std::uint8_t byte) {
  const std::size_t index = writeCount_++;
  if (!open_ || failWriteAt == index) {
    note('>', "!");
    return false;
  }
  if (model_) {
    note('>', hex(byte));
    written_.push_back(byte);
    model_->receive(byte, replies_);
    return true;
  }
  if (script_.empty() || script_.front().kind == Step::Kind::Reply ||
      script_.front().kind == Step::Kind::Silence) {
    ADD_FAILURE() << "printer: unexpected write of byte 0x" << hex(byte) << " after "
                  << transcript_;
    note('>', "!");
    return false;
  }
  const Step step = script_.front();
  script_.pop_front();
  if (step.kind == Step::Kind::FailWrite) {
    note('>', "!");
    return false;
  }
  EXPECT_EQ(hex(byte), hex(step.byte)) << "printer: wrong byte after " << transcript_;
  note('>', hex(byte));
  written_.push_back(byte);
  return true;
}

std::optional<std::uint8_t> ScriptedPrinter::read() {
  std::optional<std::uint8_t> byte;
  if (!open_) {
    // a closed port has nothing to give
  } else if (model_) {
    if (!replies_.empty()) {
      byte = replies_.front();
      replies_.pop_front();
    }
  } else if (script_.empty() || script_.front().kind == Step::Kind::Expect ||
             script_.front().kind == Step::Kind::FailWrite) {
    ADD_FAILURE() << "printer: unexpected read after " << transcript_;
  } else {
    if (script_.front().kind == Step::Kind::Reply) byte = script_.front().byte;
    script_.pop_front();
  }
  note('<', byte ? hex(*byte) : "!");
  return byte;
}

}  // namespace voren::test
