#include "sim/options.h"

#include <charconv>

namespace voren::sim {
namespace {

constexpr const char* kHelp =
    "usage: voren-sim [options]\n"
    "A simulated VOREN printer on a pseudo-terminal. Prints the pty's path on\n"
    "stdout, answers command 1 (font upload) and keeps what it is sent.\n"
    "  --link PATH            make PATH a symlink to the pty\n"
    "  --dump FILE            write the 144 stored blocks (36,864 bytes) there\n"
    "                         after each complete update and at exit\n"
    "  --render FILE.png      a receipt printed with the stored font, written\n"
    "                         whenever the dump is\n"
    "  --baud N               pace both directions at N baud, 11 bits a byte (8E1)\n"
    "  --fault BLOCK:POINT:KIND[:TIMES]\n"
    "                         inject a fault; BLOCK 0..143 or *, POINT ack|1|2,\n"
    "                         KIND nak|silence|status=S|crc|verify|hangup|stray=XX,..\n"
    "  --hangup-after N       hang the line up after the N-th byte received\n"
    "  --exit-after-update    exit once an update is complete and the peer closed\n"
    "                         (or 5 s later)\n"
    "  --exit-on-close        exit when a peer that sent bytes closes the line\n"
    "  --lifetime S           exit after S seconds whatever happens\n"
    "  --frame-gap MS         quiet time that abandons a command (default 2000)\n"
    "  --latency-timer MS     answer through a USB adapter that holds what it\n"
    "                         receives MS (1..255) from its first byte held, or\n"
    "                         until 62 bytes are held\n"
    "  --verbose              report every exchange on stderr\n";

template <typename T>
bool toNumber(const std::string& text, T& value) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

ParsedOptions parseOptions(const std::vector<std::string>& arguments) {
  SimOptions options;
  auto error = [](std::string why) { return ParsedOptions{std::nullopt, "voren-sim: " + why}; };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--help" || name == "-h") return {std::nullopt, kHelp};
    if (name == "--exit-after-update") {
      options.exitAfterUpdate = true;
      continue;
    }
    if (name == "--exit-on-close") {
      options.exitOnClose = true;
      continue;
    }
    if (name == "--verbose") {
      options.verbose = true;
      continue;
    }
    if (i + 1 == arguments.size()) return error(name + " needs a value (or is unknown)");
    const std::string& value = arguments[++i];
    if (name == "--link") {
      options.link = value;
    } else if (name == "--dump") {
      options.dump = value;
    } else if (name == "--render") {
      options.render = value;
    } else if (name == "--baud") {
      if (!toNumber(value, options.baud) || options.baud == 0) {
        return error("--baud needs a positive number");
      }
    } else if (name == "--fault") {
      std::string why;
      auto fault = parseFault(value, &why);
      if (!fault) return error(why);
      options.faults.add(std::move(*fault));
    } else if (name == "--hangup-after") {
      if (!toNumber(value, options.hangUpAfter) || options.hangUpAfter == 0) {
        return error("--hangup-after needs a positive byte count");
      }
    } else if (name == "--lifetime") {
      if (!toNumber(value, options.lifetimeSeconds)) return error("--lifetime needs seconds");
    } else if (name == "--frame-gap") {
      if (!toNumber(value, options.frameGapMs) || options.frameGapMs == 0) {
        return error("--frame-gap needs milliseconds");
      }
    } else if (name == "--latency-timer") {
      // What FTDI-type adapters accept.
      if (!toNumber(value, options.latencyTimerMs) || options.latencyTimerMs == 0 ||
          options.latencyTimerMs > 255) {
        return error("--latency-timer needs milliseconds from 1 to 255");
      }
    } else {
      return error("unknown option " + name);
    }
  }
  return {std::move(options), {}};
}

}  // namespace voren::sim
