// The unit's OpenThread and CloseThread, apart from the other port functions:
// kernel32 has functions of the same names, which the runtime's thread
// library calls. In a file of their own they join a test binary only when a
// test asks for them, and never clash with kernel32 otherwise.
#include "serial/winseria.h"

extern "C" {
void OpenThread() {}
void CloseThread() {}
}
