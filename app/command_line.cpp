#include "app/command_line.h"

#include <algorithm>
#include <string_view>

#include "platform/win32/com_device.h"

namespace voren {

namespace {

enum class Takes { Nothing, Value };

struct OptionRule {
  std::string_view name;
  Takes takes;
};

constexpr OptionRule kOptions[] = {
    {"--port", Takes::Value},      {"--device", Takes::Value},          {"--font", Takes::Value},
    {"--trace", Takes::Value},     {"--list", Takes::Nothing},          {"--help", Takes::Nothing},
    {"--version", Takes::Nothing}, {"--station-child", Takes::Nothing}, {"--json", Takes::Nothing},
};

// Decimal only: a script that writes 010 means ten, not eight.
std::optional<std::uint8_t> portNumber(std::string_view text) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const int number = std::stoi(std::string(text));
  if (number < 1 || number > 255) return std::nullopt;
  return static_cast<std::uint8_t>(number);
}

// Appended, not "'" + text: GCC 12 at -O3 sees an overlapping copy in the
// prepend (a false -Wrestrict).
std::string quoted(std::string_view text) {
  std::string out(1, '\'');
  out.append(text);
  out += '\'';
  return out;
}

// What makes two port arguments the same port: its COM number, whichever
// way it was named ("--port 3", "COM3", "\\.\COM3"), or else the device
// path as given.
struct PortIdentity {
  std::optional<unsigned> number;
  std::string path;
  bool operator==(const PortIdentity&) const = default;
  std::string shown() const { return number ? "COM" + std::to_string(*number) : path; }
};

PortIdentity identityOf(const PortArgument& port) {
  if (port.number) return {*port.number, {}};
  if (const auto name = comNumberOfName(port.device); name && name->port) return {*name->port, {}};
  return {std::nullopt, port.device};
}

std::string addPort(CommandLine& c, PortArgument port) {
  const PortIdentity identity = identityOf(port);
  for (const auto& earlier : c.ports) {
    if (identityOf(earlier) == identity) {
      return "the port " + quoted(identity.shown()) + " is named twice";
    }
  }
  c.ports.push_back(std::move(port));
  return {};
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
    const auto number = portNumber(value);
    if (!number) return "--port " + quoted(value) + " is no port number (1..255)";
    return addPort(c, {number, {}});
  }
  if (name == "--device") {
    if (value.empty()) return "--device needs a non-empty value";
    return addPort(c, {std::nullopt, std::string(value)});
  }
  if (name == "--station-child") {
    c.stationChild = true;
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
  for (const auto& rule : kOptions) {
    if (c.action != CommandLine::Action::Update && actionOf(rule.name) == c.action) {
      words.emplace_back(rule.name);
    }
  }
  return words;
}

const char* const kUsageLine =
    "usage: voren-cp852 [--port N|--device PATH]... [--font FILE] [--trace FILE] "
    "[--json] [--list|--help|--version]";

std::string helpText() {
  return std::string(kUsageLine) +
         "\n\n"
         "Writes the code page 852 glyph table into a VOREN receipt printer.\n"
         "With no options it asks for the COM port and waits for a key at the end.\n"
         "\n"
         "  --port N       upload through COMn (1..255) without asking, no key wait\n"
         "  --device PATH  the same for a device: a path such as /dev/ttyUSB0 on Linux,\n"
         "                 COMn or \\\\.\\COMn on both (\\\\.\\COMn only from COM10 up)\n"
         "  --font FILE    upload the 36864 bytes of FILE instead of the built-in table;\n"
         "                 anything but a regular file of that size is refused\n"
         "  --trace FILE   write every byte on the wire to FILE (several ports: FILE-PORT,\n"
         "                 e.g. wire-COM3.txt), a line per run of bytes one way;\n"
         "                 a directory, a named pipe, a missing folder or the font\n"
         "                 file itself is refused before the port is opened\n"
         "  --json         JSON lines for scripts, no screen (needs a port, or --list)\n"
         "  --list         print the COM ports this computer has, one a line\n"
         "  --help         print this text; --version the program's version\n"
         "\n"
         "Options may be combined; without --port or --device the dialogue asks for\n"
         "the port. Several ports (each option repeated) are updated at once, a line\n"
         "each, then a summary. A value may also follow an equals sign: --port=3.\n"
         "\n"
         "Exit status: 0 updated, 1 failed, stopped or no usable port, 2 a bad command\n"
         "line, font, trace file or device name, 3 updated but a trace incomplete.\n";
}

std::string versionText() { return std::string("voren-cp852 ") + VOREN_VERSION; }

}  // namespace voren
