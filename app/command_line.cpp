#include "app/command_line.h"

#include <algorithm>
#include <string_view>

namespace voren {

namespace {

enum class Takes { Nothing, Value };

struct OptionRule {
  std::string_view name;
  Takes takes;
};

constexpr OptionRule kOptions[] = {
    {"--port", Takes::Value},          {"--device", Takes::Value},
    {"--font", Takes::Value},          {"--trace", Takes::Value},
    {"--list", Takes::Nothing},        {"--help", Takes::Nothing},
    {"--version", Takes::Nothing},     {"--station-child", Takes::Nothing},
    {"--station-place", Takes::Value}, {"--json", Takes::Nothing},
};

// Decimal, 1..255; what is wrong with it, or nothing. No leading zero: a
// script's 010 means ten, the dialogue's %i reads it as eight, and one text
// must not name two ports (refused like COM03 in a device name).
std::string portNumber(std::string_view text, std::uint8_t& number) {
  const auto first = text.find_first_not_of('0');
  if (first == text.npos || text.size() - first > 3 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return "is no port number (1..255)";
  }
  const int value = std::stoi(std::string(text.substr(first)));
  if (value > 255) return "is no port number (1..255)";
  if (first > 0) return "has a leading zero; write " + std::to_string(value);
  number = static_cast<std::uint8_t>(value);
  return {};
}

// A child's place in its station, 0..999.
std::optional<unsigned> smallDecimal(std::string_view text) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return static_cast<unsigned>(std::stoi(std::string(text)));
}

// Appended, not "'" + text: GCC 12 at -O3 sees an overlapping copy in the
// prepend (a false -Wrestrict).
std::string quoted(std::string_view text) {
  std::string out(1, '\'');
  out.append(text);
  out += '\'';
  return out;
}

CommandLine::Action actionOf(std::string_view option) {
  return option == "--help"      ? CommandLine::Action::Help
         : option == "--version" ? CommandLine::Action::Version
         : option == "--list"    ? CommandLine::Action::List
                                 : CommandLine::Action::Update;
}

// Sets the option from its value; an error text when it cannot.
std::string apply(CommandLine& c, std::string_view name, std::string_view value) {
  const auto once = [&](std::optional<std::string>& slot) -> std::string {
    if (slot) return std::string(name) + " given twice";
    if (value.empty()) return std::string(name) + " needs a non-empty value";
    slot = std::string(value);
    return {};
  };
  if (name == "--port") {
    std::uint8_t number = 0;
    const std::string wrong = portNumber(value, number);
    if (!wrong.empty()) return "--port " + quoted(value) + " " + wrong;
    c.ports.push_back({number, {}});
    return {};
  }
  if (name == "--device") {
    if (value.empty()) return "--device needs a non-empty value";
    c.ports.push_back({std::nullopt, std::string(value)});
    return {};
  }
  if (name == "--station-child") {
    c.stationChild = true;
    return {};
  }
  if (name == "--station-place") {
    if (c.stationPlace) return "--station-place given twice";
    const auto place = smallDecimal(value);
    if (!place) return "--station-place " + quoted(value) + " is no place (0..999)";
    c.stationPlace = *place;
    return {};
  }
  if (name == "--json") {
    c.json = true;
    return {};
  }
  if (name == "--font") return once(c.font);
  if (name == "--trace") return once(c.trace);
  const auto wanted = actionOf(name);
  // Help before version before list: the enum's order after Update.
  if (c.action == CommandLine::Action::Update || wanted < c.action) c.action = wanted;
  return {};
}

}  // namespace

ParsedCommandLine parseCommandLine(std::span<const char* const> arguments) {
  ParsedCommandLine parsed;
  CommandLine& c = parsed.commandLine;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string_view argument = arguments[i];
    std::optional<std::string_view> value;
    if (const auto equals = argument.find('=');
        argument.starts_with("--") && equals != argument.npos) {
      value = argument.substr(equals + 1);
      argument = argument.substr(0, equals);
    }
    const auto rule = std::find_if(std::begin(kOptions), std::end(kOptions),
                                   [&](const OptionRule& r) { return r.name == argument; });
    if (rule == std::end(kOptions)) {
      parsed.error = "unknown option " + quoted(arguments[i]);
      return parsed;
    }
    if (rule->takes == Takes::Nothing && value) {
      parsed.error = std::string(argument) + " takes no value";
      return parsed;
    }
    if (rule->takes == Takes::Value && !value) {
      if (i + 1 == arguments.size()) {
        parsed.error = std::string(argument) + " needs a value";
        return parsed;
      }
      value = arguments[++i];
    }
    parsed.error = apply(c, argument, value.value_or(""));
    if (!parsed.error.empty()) return parsed;
  }
  if (c.stationChild && c.ports.size() != 1) parsed.error = "--station-child takes one port";
  if (c.stationPlace && !c.stationChild) parsed.error = "--station-place is for --station-child";
  if (c.json && c.action == CommandLine::Action::Update && c.ports.empty()) {
    parsed.error = "--json needs --port or --device: the dialogue has no JSON";
  }
  return parsed;
}

std::vector<std::string> argumentsOf(const CommandLine& c) {
  std::vector<std::string> words;
  for (const auto& port : c.ports) {
    if (port.number) {
      words.insert(words.end(), {"--port", std::to_string(*port.number)});
    } else {
      words.insert(words.end(), {"--device", port.device});
    }
  }
  if (c.font) words.insert(words.end(), {"--font", *c.font});
  if (c.trace) words.insert(words.end(), {"--trace", *c.trace});
  if (c.json) words.emplace_back("--json");
  if (c.stationChild) words.emplace_back("--station-child");
  if (c.stationPlace)
    words.insert(words.end(), {"--station-place", std::to_string(*c.stationPlace)});
  for (const auto& rule : kOptions) {
    if (c.action != CommandLine::Action::Update && actionOf(rule.name) == c.action) {
      words.emplace_back(rule.name);
    }
  }
  return words;
}

// Two lines within 80 columns: a wrapped line would cost the help its last row.
const char* const kUsageLine =
    "usage: voren-cp852 [--port N|--device PATH]... [--font FILE] [--trace FILE]\n"
    "                   [--json] | --list [--json] | --help | --version";

std::string helpText() {
  return std::string(kUsageLine) +
         "\n\n"
         "Writes the code page 852 glyph table into a VOREN receipt printer.\n"
         "With no options it asks for the COM port and waits for a key at the end.\n"
         "\n"
         "  --port N       upload through COMn (1..255, no leading zero), no key wait\n"
         "  --device PATH  the same for a device: a path such as /dev/ttyUSB0 on Linux,\n"
         "                 COMn or \\\\.\\COMn on both (\\\\.\\COMn only from COM10 up)\n"
         "  --font FILE    upload the 36864 bytes of FILE instead of the built-in table;\n"
         "                 anything but a regular file of that size is refused\n"
         "  --trace FILE   every byte on the wire to FILE (several ports: FILE-PORT, e.g.\n"
         "                 wire-COM3.txt; a device: all); a folder, a pipe, the font, a\n"
         "                 port, a terminal or our own output is refused before any opens\n"
         "  --list         print the COM ports this computer has and what hangs on each\n"
         "  --json         JSON lines for scripts, no screen (needs a port, or --list)\n"
         "  --help         print this text; --version the program's version\n"
         "\n"
         "Options may be combined; without --port or --device the dialogue asks for\n"
         "the port. Several ports (each option repeated) are updated at once, a line\n"
         "each, then a summary. A value may also follow an equals sign: --port=3.\n"
         "\n"
         "Exit status: 0 updated, 1 failed, stopped or no usable port, 2 a bad command\n"
         "line, font, trace file or device name, 3 updated, trace or output not whole.\n";
}

std::string versionText() { return std::string("voren-cp852 ") + VOREN_VERSION; }

}  // namespace voren
