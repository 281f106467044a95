#pragma once
// Standard output as a way out that users break: a reader that closes its
// end (| head), a full disk. A failed write never ends the process and never
// stops what it reports on: the first failure is kept, nothing more is
// written after it, and the program says so once, at its end.
#include <string>
#include <string_view>

namespace voren {

// For the whole process, first thing: a reader that has gone gives a write
// error instead of ending the process (POSIX: SIGPIPE ignored; on Windows a
// write to a closed pipe fails anyway).
void keepRunningWhenReadersClose();

// Writes all of text to standard output at once, unbuffered (a script may be
// reading as the update runs); false when it did not arrive whole, or when an
// earlier write did not: after the first failure nothing more is written.
bool writeStandardOutput(std::string_view text);

// Why standard output is not whole, from the first write that failed
// ("not written completely: broken pipe"); empty while it is.
const std::string& standardOutputFailure();

// The end of a line for programs that read our output: "\n", on Windows
// "\r\n".
std::string_view lineEnd();

}  // namespace voren
