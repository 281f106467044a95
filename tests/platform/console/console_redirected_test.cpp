// The Windows console with standard input and output redirected: a pipe in,
// a file out, as when the program runs under a script.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/console/console.h"

namespace voren {
namespace {

std::string fileText(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  std::string text(256, '\0');
  DWORD read = 0;
  ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
  CloseHandle(file);
  text.resize(read);
  return text;
}

void send(HANDLE pipe, const std::string& bytes) {
  DWORD written = 0;
  WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

TEST(RedirectedConsole, KeysFromAPipeTextToAFileNoCursor) {
  char folder[MAX_PATH];
  char path[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
  ASSERT_NE(GetTempFileNameA(folder, "vrn", 0, path), 0u);
  HANDLE output = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(output, INVALID_HANDLE_VALUE);
  HANDLE keysIn = nullptr;
  HANDLE keysOut = nullptr;
  ASSERT_TRUE(CreatePipe(&keysIn, &keysOut, nullptr, 0));
  // The console takes its handles on first use.
  SetStdHandle(STD_INPUT_HANDLE, keysIn);
  SetStdHandle(STD_OUTPUT_HANDLE, output);
  Console& console = systemConsole();

  EXPECT_FALSE(console.keyWaiting());  // an empty pipe still open: nothing yet
  send(keysOut, "x7\n");
  EXPECT_TRUE(console.keyWaiting());
  EXPECT_EQ(console.readKey(), (Key{'x', std::nullopt}));
  EXPECT_EQ(console.readKey(), (Key{'7', std::nullopt}));
  EXPECT_EQ(console.readKey(), (Key{13, std::nullopt}));  // a line end is Enter
  CloseHandle(keysOut);
  // The end of input ends a key wait and every read.
  EXPECT_TRUE(console.keyWaiting());
  EXPECT_EQ(console.readKey(), std::nullopt);
  EXPECT_EQ(console.readKey(), std::nullopt);

  console.clear();
  console.write("Postep: 0%");
  EXPECT_EQ(console.cursor(), std::nullopt);
  console.moveToColumn(1);
  console.write(" ... 100%");
  CloseHandle(output);
  EXPECT_EQ(fileText(path), "Postep: 0% ... 100%");
  DeleteFileA(path);
}

}  // namespace
}  // namespace voren
