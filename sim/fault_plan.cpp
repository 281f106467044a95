#include "sim/fault_plan.h"

#include <charconv>

namespace voren::sim {
namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

std::optional<unsigned> number(std::string_view text, int base = 10) {
  if (base == 10 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  unsigned value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool fail(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

bool parseKind(std::string_view text, Fault& fault, std::string* error) {
  std::string_view name = text.substr(0, text.find('='));
  std::string_view value =
      name.size() < text.size() ? text.substr(name.size() + 1) : std::string_view();
  bool wantsValue = name == "status" || name == "stray";
  if (wantsValue == value.empty()) {
    return fail(error, wantsValue ? "fault kind '" + std::string(name) + "' needs a value"
                                  : "fault kind '" + std::string(name) + "' takes no value");
  }
  if (name == "nak") {
    fault.kind = Fault::Kind::Nak;
  } else if (name == "silence") {
    fault.kind = Fault::Kind::Silence;
  } else if (name == "crc") {
    fault.kind = Fault::Kind::Crc;
  } else if (name == "verify") {
    fault.kind = Fault::Kind::Verify;
  } else if (name == "hangup") {
    fault.kind = Fault::Kind::HangUp;
  } else if (name == "status") {
    auto status = number(value);
    if (!status || *status > 255)
      return fail(error, "status must be a byte: " + std::string(value));
    fault.kind = Fault::Kind::Status;
    fault.status = static_cast<std::uint8_t>(*status);
  } else if (name == "stray") {
    fault.kind = Fault::Kind::Stray;
    for (std::string_view hex : split(value, ',')) {
      auto byte = number(hex, 16);
      if (!byte || *byte > 255)
        return fail(error, "stray bytes are hex bytes: " + std::string(hex));
      fault.stray.push_back(static_cast<std::uint8_t>(*byte));
    }
  } else {
    return fail(error, "unknown fault kind '" + std::string(name) + "'");
  }
  return true;
}

}  // namespace

std::optional<Fault> parseFault(std::string_view text, std::string* error) {
  auto parts = split(text, ':');
  if (parts.size() < 3 || parts.size() > 4) {
    fail(error, "a fault is BLOCK:POINT:KIND[:TIMES], not '" + std::string(text) + "'");
    return std::nullopt;
  }
  Fault fault;
  if (parts[0] != "*") {
    auto block = number(parts[0]);
    if (!block || *block > 143) {
      fail(error, "block must be 0..143 or *: " + std::string(parts[0]));
      return std::nullopt;
    }
    fault.block = static_cast<int>(*block);
  }
  if (parts[1] == "ack") {
    fault.point = AnswerPoint::Acknowledge;
  } else if (parts[1] == "1") {
    fault.point = AnswerPoint::FirstHalf;
  } else if (parts[1] == "2") {
    fault.point = AnswerPoint::SecondHalf;
  } else {
    fail(error, "answer point must be ack, 1 or 2: " + std::string(parts[1]));
    return std::nullopt;
  }
  if (!parseKind(parts[2], fault, error)) return std::nullopt;
  bool secondHalfOnly = fault.kind == Fault::Kind::Crc || fault.kind == Fault::Kind::Verify;
  if (secondHalfOnly && fault.point != AnswerPoint::SecondHalf) {
    fail(error, "crc and verify faults belong to the second half (point 2)");
    return std::nullopt;
  }
  if (parts.size() == 4) {
    auto times = number(parts[3]);
    if (!times || *times == 0) {
      fail(error, "times must be a positive number: " + std::string(parts[3]));
      return std::nullopt;
    }
    fault.times = static_cast<int>(*times);
  }
  return fault;
}

std::optional<Fault> FaultPlan::fire(int block, AnswerPoint point) {
  for (Fault& fault : faults_) {
    if (fault.times > 0 && fault.point == point &&
        (fault.block == Fault::kAnyBlock || fault.block == block)) {
      --fault.times;
      return fault;
    }
  }
  return std::nullopt;
}

}  // namespace voren::sim
