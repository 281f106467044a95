#include "platform/win32/com_device.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace voren {

namespace {

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) ==
                  std::toupper(static_cast<unsigned char>(b));
         });
}

}  // namespace

std::optional<unsigned> comNumberOfName(std::string_view name) {
  bool devicePrefix = false;
  if (name.starts_with(R"(\\.\)")) {
    name.remove_prefix(4);
    devicePrefix = true;
  }
  if (!startsWithIgnoringCase(name, "COM")) return std::nullopt;
  name.remove_prefix(3);
  if (name.empty() || name.size() > 3 || name.front() == '0') return std::nullopt;
  if (!std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const unsigned number = static_cast<unsigned>(std::stoul(std::string(name)));
  if (!devicePrefix && number > 9) return std::nullopt;
  return number;
}

}  // namespace voren
