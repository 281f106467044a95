// The words of the command a station prints last, read back by the shells
// that run it: a script's sh takes the exact spelling, the operator's shell
// the one shown on the screen. Both must give back every byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/process/process.h"

namespace voren {
namespace {

// What shell makes of word, through printf so that nothing is added or lost.
std::string readBack(const std::string& shell, const std::string& word) {
  const std::string command = shell + " -c " + shellWord("printf '%s|' " + word);
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "popen failed";
  std::string output;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    output.append(buffer, n);
  const int status = pclose(pipe);
  return status == 0 ? output : output + "[status " + std::to_string(status) + "]";
}

bool shownOnScreen(const std::string& text) {
  for (const char c : text) {
    if (c < 0x20 || c >= 0x7F) return false;
  }
  return true;
}

TEST(ShellWord, ReadsBackAsTheWordInBothSpellings) {
  const std::vector<std::string> words = {
      "/dev/ttyUSB0",
      "/tmp/evil\x1b[2J\x1b[H\rFAKE: all printers updated",
      "line\nbreak\n",
      "/dev/\xc5\x82\xc3\xb3"
      "d\xc5\xba",
      "not utf-8 \xff\xfe\x80",
      "it's \"quoted\" \\ and \\'",
      "$(touch pwned) `touch pwned` $HOME *",
      "-n",
      "\x01"
      "7 an escape before a digit \\0",
      "\t tab and space ",
      std::string(3000, '\x1b'),
  };
  for (const auto& word : words) {
    EXPECT_EQ(readBack("sh", shellWord(word)), word + "|") << shellWord(word);
    const std::string shown = shownShellWord(word);
    EXPECT_TRUE(shownOnScreen(shown)) << shown;
    EXPECT_EQ(readBack("bash", shown), word + "|") << shown;
  }
}

}  // namespace
}  // namespace voren
