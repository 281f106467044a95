// Files on POSIX: open(2) with O_NONBLOCK, so a FIFO without a writer opens
// at once; kind, size and device+inode from fstat of what was opened.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/files/files.h"

namespace voren {

namespace {

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
  facts.identity = {static_cast<std::uint64_t>(status.st_dev),
                    static_cast<std::uint64_t>(status.st_ino)};
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

}  // namespace voren
