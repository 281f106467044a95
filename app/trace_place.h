#pragma once
// Where the wire trace is to go, checked before the port is opened: a trace
// replaces the file it is written to, so it must not take the font, hang on a
// named pipe or fail only once the upload has begun.
#include <optional>
#include <string>

#include "platform/files/files.h"

namespace voren {

// The font the trace must not replace, when the operator brought one.
struct FontInUse {
  std::string path;
  FileIdentity identity;
};

// Empty when the trace may go to path; otherwise one line naming the file
// and the reason: "trace file 'x': a named pipe". A regular file (new or
// old) and a character device such as /dev/null may take it.
std::string tracePlaceRefusal(const std::string& path, const std::optional<FontInUse>& font);

}  // namespace voren
