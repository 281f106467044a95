#pragma once
// The one filter between a text and the operator's screen.
#include <string>
#include <string_view>

namespace voren {

// A device names itself, and an operator or a script may name a device or a
// file with anything: an escape sequence or a carriage return would drive the
// operator's terminal, a letter outside ASCII would come out garbled in the
// console's code page. Each such character of the UTF-8 text shows as '?'.
// Only what goes to a screen passes here: JSON and the command to copy keep
// names as given.
std::string screenText(std::string_view utf8);

}  // namespace voren
