// Files on Windows: CreateFile with backup semantics, so a directory opens
// and says so instead of failing with "access denied"; GetFileType tells a
// pipe or a character device (CON, NUL, COMn) from a file on a disk, and
// GetFileInformationByHandle gives the size and the volume and file index.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/files/files.h"

namespace voren {

const char* const kNullDevice = "NUL";

namespace {

std::string reasonOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return "no such file or directory";
    case ERROR_ACCESS_DENIED:
      return "permission denied";
    case ERROR_SHARING_VIOLATION:
      return "in use by another program";
    case ERROR_PIPE_BUSY:
      return "a named pipe, busy";
    default:
      return "system error " + std::to_string(error);
  }
}

HANDLE openHandle(const std::string& path, DWORD access) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::optional<FileFacts> factsOf(HANDLE handle, std::string& reason) {
  FileFacts facts;
  switch (GetFileType(handle)) {
    case FILE_TYPE_PIPE:
      facts.kind = FileKind::NamedPipe;
      return facts;
    case FILE_TYPE_CHAR:
      facts.kind = FileKind::Device;
      return facts;
    case FILE_TYPE_DISK:
      break;
    default:
      return facts;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(handle, &information)) {
    reason = reasonOf(GetLastError());
    return std::nullopt;
  }
  const bool directory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.kind = directory ? FileKind::Directory : FileKind::Regular;
  if (!directory) {
    facts.size = (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
  }
  facts.identity = {information.dwVolumeSerialNumber,
                    (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
  return facts;
}

}  // namespace

std::optional<InputFile> InputFile::open(const std::string& path, std::string& reason) {
  const HANDLE handle = openHandle(path, GENERIC_READ);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = reasonOf(GetLastError());
    return std::nullopt;
  }
  const auto facts = factsOf(handle, reason);
  if (!facts) {
    CloseHandle(handle);
    return std::nullopt;
  }
  return InputFile(reinterpret_cast<std::intptr_t>(handle), *facts);
}

InputFile::InputFile(InputFile&& other) noexcept : handle_(other.handle_), facts_(other.facts_) {
  other.handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
}

InputFile::~InputFile() {
  const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

std::optional<std::size_t> InputFile::read(std::span<std::uint8_t> into, std::string& reason) {
  std::size_t done = 0;
  while (done < into.size()) {
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1 << 20));
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), into.data() + done, wanted, &got, nullptr)) {
      reason = reasonOf(GetLastError());
      return std::nullopt;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::optional<FileFacts> fileAt(const std::string& path, std::string& reason) {
  // No access asked: only the handle's facts are wanted, and nothing waits.
  const HANDLE handle = openHandle(path, 0);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = reasonOf(GetLastError());
    return std::nullopt;
  }
  const auto facts = factsOf(handle, reason);
  CloseHandle(handle);
  return facts;
}

bool folderExistsFor(const std::string& path) {
  const auto folder = std::filesystem::path(path).parent_path();
  const DWORD attributes = GetFileAttributesA(folder.empty() ? "." : folder.string().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool fileWritable(const std::string& path, std::string& reason) {
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  // What is there first: a device (NUL) cannot be made anew, only opened.
  HANDLE handle =
      CreateFileA(path.c_str(), GENERIC_WRITE, kShare, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
    // A new file goes again when its handle closes.
    handle = CreateFileA(path.c_str(), GENERIC_WRITE | DELETE, kShare, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  }
  if (handle == INVALID_HANDLE_VALUE) {
    reason = reasonOf(GetLastError());
    return false;
  }
  CloseHandle(handle);
  return true;
}

bool isTerminal(const std::string& path) {
  HANDLE handle =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  const bool console = GetConsoleMode(handle, &mode) != 0;
  CloseHandle(handle);
  return console;
}

namespace {

struct StandardHandle {
  StandardStream which;
  FILE* stream;
  const char* mode;
};

constexpr DWORD handleId(StandardStream stream) {
  return stream == StandardStream::Input    ? STD_INPUT_HANDLE
         : stream == StandardStream::Output ? STD_OUTPUT_HANDLE
                                            : STD_ERROR_HANDLE;
}

}  // namespace

// A process started without a handle (a service, a script's closed stream
// under some shells) gets none from GetStdHandle, and the C library's stream
// has no descriptor: both get the null device, so every write and read
// behind them ends at once, as it would on a console that went away.
void openClosedStandardStreams() {
  const StandardHandle handles[] = {{StandardStream::Input, stdin, "r"},
                                    {StandardStream::Output, stdout, "w"},
                                    {StandardStream::Error, stderr, "w"}};
  for (const auto& standard : handles) {
    const HANDLE handle = GetStdHandle(handleId(standard.which));
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
      const HANDLE null =
          CreateFileA(kNullDevice, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
      if (null != INVALID_HANDLE_VALUE) SetStdHandle(handleId(standard.which), null);
    }
    if (_fileno(standard.stream) < 0) std::freopen(kNullDevice, standard.mode, standard.stream);
  }
}

std::optional<FileFacts> standardStreamFacts(StandardStream stream) {
  const HANDLE handle = GetStdHandle(handleId(stream));
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string ignored;
  return factsOf(handle, ignored);
}

std::vector<FileIdentity> ownTerminalIdentities() { return {}; }

}  // namespace voren
