// Files on POSIX: open(2) with O_NONBLOCK, so a FIFO without a writer opens
// at once; kind, size and device+inode from fstat of what was opened, a
// device's identity from the device number it opens.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/files/files.h"

namespace voren {

const char* const kNullDevice = "/dev/null";

namespace {

// The volume of every device: no file system has this number, and a device's
// nodes (a by-id link, a copy made with mknod, /dev/./pts/3) are one device.
constexpr std::uint64_t kDeviceVolume = ~std::uint64_t{0};

// "No such file or directory" -> "no such file or directory": it follows a colon.
std::string reasonOf(int error) {
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

FileFacts factsOf(const struct stat& status) {
  FileFacts facts;
  facts.kind = S_ISREG(status.st_mode)                              ? FileKind::Regular
               : S_ISDIR(status.st_mode)                            ? FileKind::Directory
               : S_ISFIFO(status.st_mode)                           ? FileKind::NamedPipe
               : S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) ? FileKind::Device
                                                                    : FileKind::Other;
  facts.size = facts.kind == FileKind::Regular ? static_cast<std::uint64_t>(status.st_size) : 0;
  if (facts.kind == FileKind::Device) {
    facts.identity = {kDeviceVolume, static_cast<std::uint64_t>(status.st_rdev)};
  } else {
    facts.identity = {static_cast<std::uint64_t>(status.st_dev),
                      static_cast<std::uint64_t>(status.st_ino)};
  }
  return facts;
}

}  // namespace

std::optional<InputFile> InputFile::open(const std::string& path, std::string& reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    reason = reasonOf(errno);
    return std::nullopt;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    reason = reasonOf(errno);
    ::close(fd);
    return std::nullopt;
  }
  return InputFile(fd, factsOf(status));
}

InputFile::InputFile(InputFile&& other) noexcept : handle_(other.handle_), facts_(other.facts_) {
  other.handle_ = -1;
}

InputFile::~InputFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

std::optional<std::size_t> InputFile::read(std::span<std::uint8_t> into, std::string& reason) {
  std::size_t done = 0;
  while (done < into.size()) {
    const ssize_t got = ::read(static_cast<int>(handle_), into.data() + done, into.size() - done);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      reason = reasonOf(errno);
      return std::nullopt;
    }
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::optional<FileFacts> fileAt(const std::string& path, std::string& reason) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    reason = reasonOf(errno);
    return std::nullopt;
  }
  return factsOf(status);
}

bool folderExistsFor(const std::string& path) {
  const auto folder = std::filesystem::path(path).parent_path();
  struct stat status {};
  return ::stat(folder.empty() ? "." : folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool fileWritable(const std::string& path, std::string& reason) {
  // O_NONBLOCK: a named pipe without a reader fails at once instead of waiting.
  int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  const bool made = fd >= 0;
  if (!made && errno == EEXIST)
    fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    reason = reasonOf(errno);
    return false;
  }
  ::close(fd);
  if (made) ::unlink(path.c_str());
  return true;
}

bool isTerminal(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool terminal = ::isatty(fd) == 1;
  ::close(fd);
  return terminal;
}

void openClosedStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor: fd itself, as the ones below it are open.
    const int null = ::open(kNullDevice, O_RDWR);
    // Without a null device there is nothing better to put there.
    if (null < 0) return;
    if (null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
}

std::optional<FileFacts> standardStreamFacts(StandardStream stream) {
  const int fd = stream == StandardStream::Input    ? STDIN_FILENO
                 : stream == StandardStream::Output ? STDOUT_FILENO
                                                    : STDERR_FILENO;
  struct stat status {};
  if (::fstat(fd, &status) != 0) return std::nullopt;
  return factsOf(status);
}

std::vector<FileIdentity> ownTerminalIdentities() {
  std::vector<FileIdentity> terminals;
  // The controlling terminal's device number is the seventh field of
  // /proc/self/stat, the third after the command's closing parenthesis, in
  // the kernel's own encoding: minor bits 0-7 and 20-31, major bits 8-19.
  std::ifstream statFile("/proc/self/stat");
  const std::string stat((std::istreambuf_iterator<char>(statFile)), {});
  const auto afterName = stat.rfind(')');
  if (afterName == std::string::npos) return terminals;
  char state = 0;
  long parent = 0, group = 0, session = 0;
  unsigned long encoded = 0;
  if (std::sscanf(stat.c_str() + afterName + 1, " %c %ld %ld %ld %lu", &state, &parent, &group,
                  &session, &encoded) != 5 ||
      encoded == 0) {
    return terminals;
  }
  const dev_t terminal =
      makedev((encoded >> 8) & 0xfff, (encoded & 0xff) | ((encoded >> 12) & 0xfff00));
  terminals.push_back({kDeviceVolume, static_cast<std::uint64_t>(terminal)});
  struct stat status {};
  if (::stat("/dev/tty", &status) == 0 && S_ISCHR(status.st_mode)) {
    terminals.push_back({kDeviceVolume, static_cast<std::uint64_t>(status.st_rdev)});
  }
  return terminals;
}

}  // namespace voren
