#include "platform/win32/com_device.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace voren {

namespace {

constexpr std::string_view kDevicePrefix = R"(\\.\)";
constexpr unsigned kLastPort = 255;

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) ==
                  std::toupper(static_cast<unsigned char>(b));
         });
}

ComName refused(std::string refusal) { return {std::nullopt, std::move(refusal)}; }

}  // namespace

std::optional<ComName> comNumberOfName(std::string_view name) {
  const bool devicePrefix = name.starts_with(kDevicePrefix);
  if (devicePrefix) name.remove_prefix(kDevicePrefix.size());
  if (!startsWithIgnoringCase(name, "COM")) return std::nullopt;
  const std::string_view digits = name.substr(3);
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  // Past the last port the value no longer matters, only that it is past.
  unsigned number = 0;
  for (char c : digits) number = std::min(number * 10 + static_cast<unsigned>(c - '0'), 1000u);
  const std::string port = "COM" + std::to_string(number);
  const std::string prefix(kDevicePrefix);
  if (number == 0) return refused("no COM port has the number 0");
  if (number > kLastPort) return refused("COM ports go up to COM255");
  if (digits.front() == '0') {
    return refused("a COM port is named without a leading zero; write " +
                   (devicePrefix ? prefix : "") + port);
  }
  if (!devicePrefix && number > 9) {
    return refused(std::string(name) + " without " + prefix + " is no name Windows opens; write " +
                   prefix + port);
  }
  return ComName{static_cast<std::uint8_t>(number), {}};
}

}  // namespace voren
