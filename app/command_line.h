#pragma once
// The program's options for unattended use. With none it is the operator's
// dialogue; parsed by hand, as there are only a handful.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace voren {

struct CommandLine {
  // What the program does; the first of these asked for wins: help,
  // version, list, update.
  enum class Action { Update, Help, Version, List };
  Action action = Action::Update;
  std::optional<std::uint8_t> port;   // --port N, 1..255
  std::optional<std::string> device;  // --device PATH
  std::optional<std::string> font;    // --font FILE
  std::optional<std::string> trace;   // --trace FILE
};

struct ParsedCommandLine {
  CommandLine commandLine;
  std::string error;  // empty when the command line is good
};

// The arguments after the program's name.
ParsedCommandLine parseCommandLine(std::span<const char* const> arguments);

// The first line of the help: what goes to stderr after a bad command line.
extern const char* const kUsageLine;
// The whole help, one screen.
std::string helpText();
// "voren-cp852 1.0.0".
std::string versionText();

}  // namespace voren
