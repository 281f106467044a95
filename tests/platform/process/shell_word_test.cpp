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

// What a JSON line carries as it is: a byte that is not UTF-8 would come out
// as U+FFFD, and the command would name another file.
bool utf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80                   ? 1
                               : lead >= 0xC2 && lead < 0xE0 ? 2
                               : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5 ? 4
                                                             : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    // No overlong form, no surrogate, nothing past U+10FFFF.
    const auto second = static_cast<unsigned char>(length > 1 ? text[i + 1] : 0x80);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
      return false;
    }
    i += length;
  }
  return true;
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
      "\xc5 a letter cut short, then whole \xc5\x82\xc5",
      "overlong \xc0\xaf and a surrogate \xed\xa0\x80\n",
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
    EXPECT_TRUE(utf8(shellWord(word))) << shellWord(word);
    const std::string shown = shownShellWord(word);
    EXPECT_TRUE(shownOnScreen(shown)) << shown;
    EXPECT_EQ(readBack("bash", shown), word + "|") << shown;
  }
}

}  // namespace
}  // namespace voren
