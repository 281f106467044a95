#pragma once
// What the Win32-subset tests need from the machine itself: a raw
// pseudo-terminal whose master plays the far end, and a count of the
// process's threads or descriptors.
#include <string>

namespace voren::test {

// Opens a pseudo-terminal in raw mode and returns its master (-1 on failure);
// slavePath receives the device a COM port can be mapped to.
int openRawPty(std::string& slavePath);

// Entries of a /proc folder such as /proc/self/task or /proc/self/fd.
int countEntries(const char* directory);

// The count once it has come to expected, or where it stood after two
// seconds: a thread that has ended can stay listed for a moment.
int settledCount(const char* directory, int expected);

}  // namespace voren::test
