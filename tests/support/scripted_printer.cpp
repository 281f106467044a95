#include "tests/support/scripted_printer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

#include "platform/win32/com_ports.h"

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
  plugIn(printer);
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

void ScriptedPrinter::logCall(const char* name, std::initializer_list<std::uint32_t> args) {
  std::string text = name;
  text += '(';
  const char* separator = "";
  for (std::uint32_t a : args) {
    text += separator;
    text += std::to_string(a);
    separator = ",";
  }
  calls_.push_back(text + ')');
}

std::uint32_t ScriptedPrinter::probe(std::uint32_t port) {
  logCall("SerialPortPresent", {port});
  if (presentPorts.count(port) == 0) return 2;
  const auto error = probeErrors.find(port);
  return error != probeErrors.end() ? error->second : 0;
}

void ScriptedPrinter::setCts(std::uint32_t on) { logCall("UstawCTS", {on}); }

std::int32_t ScriptedPrinter::open(std::uint32_t port, std::uint32_t speed,
                                   std::uint32_t writeSeconds, std::uint32_t readSeconds) {
  logCall("InitializePort", {port, speed, writeSeconds, readSeconds});
  if (open_) return 5;
  if (presentPorts.count(port) == 0) return 2;
  if (initializeResult == 0) open_ = true;
  openPort_ = port;
  return initializeResult;
}

void ScriptedPrinter::close() {
  logCall("UnInitializePort");
  open_ = false;
}

bool ScriptedPrinter::changeParity(std::uint32_t parity) {
  logCall("ChangeParity", {parity});
  return open_ && parityResult;
}

void ScriptedPrinter::failed() {
  transferFailed_ = true;
  if (unplugs) presentPorts.erase(openPort_);
}

std::int32_t ScriptedPrinter::transferError() {
  // The unit's record holds a failure until IsError hands it out.
  return std::exchange(transferFailed_, false) ? failureError : 0;
}

// Merges a run of bytes in one direction into one token.
void ScriptedPrinter::note(char direction, const std::string& what) {
  const bool failed = what == "!";
  if (failed) this->failed();
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

// The platform's port list of the same machine: the ports it holds present.
std::vector<voren::ComPort> voren::comPortsPresent() {
  const auto& printer = test::scriptedPrinter();
  std::vector<ComPort> ports;
  for (std::uint32_t port : printer.presentPorts) {
    const auto described = printer.portDescriptions.find(port);
    ports.push_back(
        {static_cast<int>(port),
         {},
         described == printer.portDescriptions.end() ? PortDescription{} : described->second});
  }
  for (const auto& device : printer.unnumberedPorts) ports.push_back({0, device});
  return ports;
}

voren::PortDescription voren::comPortDescription(std::uint8_t comPort) {
  const auto& printer = test::scriptedPrinter();
  const auto described = printer.portDescriptions.find(comPort);
  return described == printer.portDescriptions.end() ? PortDescription{} : described->second;
}
