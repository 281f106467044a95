// Child processes on POSIX: posix_spawn with the pipe ends put in place by
// the spawn's file actions; every other descriptor of ours is close-on-exec.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/auxv.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/process/process.h"

extern char** environ;

namespace voren {

struct ChildProcess::Handles {
  pid_t pid = -1;
  int input = -1;   // the child's standard input, our end
  int output = -1;  // the child's standard output and error, our end
};

namespace {

void closeIfOpen(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::string systemError(const char* what, int number) {
  return std::string(what) + ": " + std::strerror(number);
}

std::atomic<bool> interruptFlag{false};

void onInterrupt(int) { interruptFlag = true; }

}  // namespace

ChildProcess::ChildProcess(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

std::unique_ptr<ChildProcess> ChildProcess::start(const std::string& program,
                                                  const std::vector<std::string>& arguments,
                                                  std::string* error) {
  // A child that has gone must not take us with it when we write to it.
  signal(SIGPIPE, SIG_IGN);
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) {
    *error = systemError("pipe", errno);
    return nullptr;
  }
  if (pipe2(out, O_CLOEXEC) != 0) {
    *error = systemError("pipe", errno);
    ::close(in[0]);
    ::close(in[1]);
    return nullptr;
  }
  // dup2 clears close-on-exec on the copies, so the child keeps exactly
  // these three; the other children's pipes stay ours alone, and a child
  // sees its input end when we close our end or go.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
  // Its own process group: the terminal's Ctrl-C reaches the parent only,
  // which stops the children in order.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  auto handles = std::make_unique<Handles>();
  const int failed =
      posix_spawn(&handles->pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(in[0]);
  ::close(out[1]);
  if (failed != 0) {
    *error = systemError(program.c_str(), failed);
    ::close(in[1]);
    ::close(out[0]);
    return nullptr;
  }
  handles->input = in[1];
  handles->output = out[0];
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(handles)));
}

ChildProcess::~ChildProcess() {
  closeIfOpen(handles_->input);
  if (!exit_) {
    kill();
    waitpid(handles_->pid, nullptr, 0);
  }
  closeIfOpen(handles_->output);
}

bool ChildProcess::writeInput(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    if (handles_->input < 0) return false;
    const ssize_t n = ::write(handles_->input, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes = bytes.subspan(static_cast<std::size_t>(n));
  }
  return true;
}

void ChildProcess::closeInput() { closeIfOpen(handles_->input); }

std::size_t ChildProcess::readOutput(std::span<char> buffer) {
  for (;;) {
    const ssize_t n = ::read(handles_->output, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }
}

std::optional<ChildExit> ChildProcess::exited() {
  if (exit_) return exit_;
  int status = 0;
  if (waitpid(handles_->pid, &status, WNOHANG) != handles_->pid) return std::nullopt;
  exit_ = ChildExit{WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt};
  return exit_;
}

void ChildProcess::kill() {
  if (!exit_) ::kill(handles_->pid, SIGKILL);
}

// The path execve was given, as the kernel kept it; relative to the folder
// the program started in, which it never leaves.
std::string startedProgramPath() {
  const auto* started = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  if (started == nullptr || *started == '\0') return {};
  std::error_code error;
  const auto path = std::filesystem::absolute(started, error);
  return error ? std::string(started) : path.string();
}

// The started path, so that a process list names the copies as the operator
// knows the program; after an upgrade, the kernel's link to the running
// file, which outlives its name (its target then reads "... (deleted)").
// Not that link while the running file has its name: it is the program, or
// the dynamic loader the program was started through (ld.so PROGRAM), which
// would take the copies' options for its own.
std::string ownProgramPath() {
  constexpr const char* kRunning = "/proc/self/exe";
  const std::string started = startedProgramPath();
  std::error_code error;
  const std::string target = std::filesystem::read_symlink(kRunning, error).string();
  const bool replaced = error || target.ends_with(" (deleted)");
  return started.empty() || replaced ? kRunning : started;
}

namespace {

// The length of the UTF-8 character at the start of text, or 0 when its
// first byte starts none: a JSON line would carry such a byte as U+FFFD.
std::size_t utf8Character(std::string_view text) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(0);
  const std::size_t length = lead < 0x80                   ? 1
                             : lead >= 0xC2 && lead < 0xE0 ? 2
                             : lead >= 0xE0 && lead < 0xF0 ? 3
                             : lead >= 0xF0 && lead < 0xF5 ? 4
                                                           : 0;
  if (length == 0 || length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
  }
  // No overlong form, no surrogate, nothing past U+10FFFF.
  if (length > 1 && ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F) ||
                     (lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F))) {
    return 0;
  }
  return length;
}

std::string octal(unsigned char byte) {
  return {'\\', static_cast<char>('0' + (byte >> 6)), static_cast<char>('0' + ((byte >> 3) & 7)),
          static_cast<char>('0' + (byte & 7))};
}

}  // namespace

// Single quotes keep every byte as it is but the quote itself, which ends
// the quotes, comes as \' and opens them again. A byte that is no UTF-8 is
// made by printf outside the quotes: the command goes into a JSON line, and
// sh has no escape of its own for a byte (dash has no $'...'). Only such
// bytes are printed, never a line end, which $(...) would drop.
std::string shellWord(std::string_view word) {
  constexpr std::string_view kPlain =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_@%+=:,./-";
  if (!word.empty() && word.find_first_not_of(kPlain) == std::string_view::npos) {
    return std::string(word);
  }
  std::string result = "'";
  while (!word.empty()) {
    if (utf8Character(word) == 0) {
      result += "'\"$(printf '";
      for (; !word.empty() && utf8Character(word) == 0; word.remove_prefix(1)) {
        result += octal(static_cast<unsigned char>(word.front()));
      }
      result += "')\"'";
      continue;
    }
    const std::size_t length = utf8Character(word);
    const std::string_view character = word.substr(0, length);
    result += character == "'" ? std::string_view("'\\''") : character;
    word.remove_prefix(length);
  }
  return result + "'";
}

// Three octal digits a byte, so that no digit after it joins the escape.
std::string shownShellWord(std::string_view word) {
  const auto shown = [](char c) { return c >= 0x20 && c < 0x7F; };
  if (std::all_of(word.begin(), word.end(), shown)) return shellWord(word);
  std::string result = "$'";
  for (const char c : word) {
    if (c == '\\' || c == '\'') {
      result += '\\';
      result += c;
    } else if (shown(c)) {
      result += c;
    } else {
      result += octal(static_cast<unsigned char>(c));
    }
  }
  return result + "'";
}

void useParentPipes() { signal(SIGPIPE, SIG_IGN); }

std::size_t readFromParent(std::span<std::uint8_t> buffer) {
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }
}

bool writeToParent(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void catchInterrupt() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

bool interrupted() { return interruptFlag; }

}  // namespace voren
