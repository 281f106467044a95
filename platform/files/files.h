#pragma once
// Files the operator names: what kind of file a path is, how big, and which
// file it is, taken from the system rather than guessed from the name. A
// file is looked at before a byte of it is read, and opening one never waits
// (a named pipe without a writer, a device).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace voren {

enum class FileKind { Regular, Directory, NamedPipe, Device, Other };

// What a refusal calls a file of this kind.
constexpr const char* kindName(FileKind kind) {
  switch (kind) {
    case FileKind::Regular:
      return "a regular file";
    case FileKind::Directory:
      return "a directory";
    case FileKind::NamedPipe:
      return "a named pipe";
    case FileKind::Device:
      return "a device";
    case FileKind::Other:
      break;
  }
  return "neither a regular file nor a device";
}

// Two names of one file (a hard link, a symbolic link) have one identity; a
// device is known by the device it opens, so every node and link that reaches
// it is one. All zero when the system gives none (a pipe or a device on
// Windows).
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Whether a and b are surely one file: an identity the system did not give
// is the same as nothing.
constexpr bool sameFile(const FileIdentity& a, const FileIdentity& b) {
  return a == b && a != FileIdentity{};
}

struct FileFacts {
  FileKind kind = FileKind::Other;
  std::uint64_t size = 0;  // of a regular file
  FileIdentity identity;
};

// A file opened for reading only. The reasons are the system's, in words:
// "no such file or directory", "permission denied".
class InputFile {
 public:
  // Nothing, and the reason, when the path cannot be opened.
  static std::optional<InputFile> open(const std::string& path, std::string& reason);

  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&&) = delete;
  ~InputFile();

  // From the opened file, not from its name, which may have changed since.
  const FileFacts& facts() const { return facts_; }
  // Fills into, fewer bytes only at the end of the file; nothing and the
  // reason when a read fails.
  std::optional<std::size_t> read(std::span<std::uint8_t> into, std::string& reason);

 private:
  InputFile(std::intptr_t handle, const FileFacts& facts) : handle_(handle), facts_(facts) {}

  std::intptr_t handle_;
  FileFacts facts_;
};

// What path names now, links followed, nothing read from it; nothing and the
// reason when there is no such file or it cannot be looked at.
std::optional<FileFacts> fileAt(const std::string& path, std::string& reason);

// Whether the folder a file at path would be made in exists.
bool folderExistsFor(const std::string& path);

// Whether a file at path can be written, tried rather than guessed from
// permissions (root may write where the bits say no, and not in /sys): an
// existing file is opened for writing, nothing truncated; a new one is made
// and removed again. False and the reason when it cannot.
bool fileWritable(const std::string& path, std::string& reason);

// Whether path is a terminal (a console on Windows): one that stops taking
// output (Ctrl-S, a window nobody reads, a selection in the console) stops
// whoever writes to it. Looked at by opening it, never waiting.
bool isTerminal(const std::string& path);

// The device that takes anything and keeps nothing: "/dev/null", "NUL".
extern const char* const kNullDevice;

// The program's own standard streams are files too: a script may hand them
// over closed, or name the file behind one again.
enum class StandardStream { Input, Output, Error };

// Puts the null device behind every standard stream that is closed. Called
// before anything else is opened: on POSIX the next port or file would
// otherwise get descriptor 0, 1 or 2 and with it the program's own text; on
// Windows nothing is left writing to or reading from no handle.
void openClosedStandardStreams();

// What a standard stream is now; nothing when the system cannot say.
std::optional<FileFacts> standardStreamFacts(StandardStream stream);

// The devices that are the program's own terminal: the terminal it is run
// from and the name that always reaches it (/dev/tty). None on Windows, where
// a port is a COM number and never the console.
std::vector<FileIdentity> ownTerminalIdentities();

}  // namespace voren
