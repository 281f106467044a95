// Child processes on Windows: CreateProcessA with the child's pipe ends as
// its inherited standard handles, in a process group of its own.
#include <windows.h>

#include <atomic>

#include "platform/process/process.h"

namespace voren {

struct ChildProcess::Handles {
  HANDLE process = nullptr;
  HANDLE input = nullptr;   // the child's standard input, our end
  HANDLE output = nullptr;  // the child's standard output and error, our end
};

namespace {

void closeIfOpen(HANDLE& handle) {
  if (handle) CloseHandle(handle);
  handle = nullptr;
}

std::string systemError(const char* what) {
  return std::string(what) + " failed with error " + std::to_string(GetLastError());
}

// Above any exit status, so a killed child reads as not ended by itself.
constexpr UINT kKilledExitCode = 0x100;

std::atomic<bool> interruptFlag{false};

BOOL WINAPI onControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interruptFlag = true;
  return TRUE;
}

// Neither end is inheritable; the child's end becomes so for the one
// CreateProcessA that needs it.
bool makePipe(HANDLE& read, HANDLE& write, DWORD size) {
  return CreatePipe(&read, &write, nullptr, size) != 0;
}

}  // namespace

ChildProcess::ChildProcess(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

std::unique_ptr<ChildProcess> ChildProcess::start(const std::string& program,
                                                  const std::vector<std::string>& arguments,
                                                  std::string* error) {
  HANDLE childInput = nullptr, input = nullptr, output = nullptr, childOutput = nullptr;
  // Room for the glyph table and then some: the parent writes it at once.
  if (!makePipe(childInput, input, 64 * 1024)) {
    *error = systemError("CreatePipe");
    return nullptr;
  }
  if (!makePipe(output, childOutput, 0)) {
    *error = systemError("CreatePipe");
    CloseHandle(childInput);
    CloseHandle(input);
    return nullptr;
  }
  // Children are started one at a time from one thread, so no other child
  // can inherit these two while they are inheritable.
  SetHandleInformation(childInput, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  SetHandleInformation(childOutput, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);

  std::string commandLine = shellWord(program);
  for (const auto& argument : arguments) {
    commandLine += ' ';
    commandLine += shellWord(argument);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childInput;
  startup.hStdOutput = childOutput;
  startup.hStdError = childOutput;
  PROCESS_INFORMATION info{};
  // A process group of its own: the console's Ctrl-C reaches the parent
  // only, which stops the children in order.
  const BOOL started = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                      CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &info);
  if (!started) *error = systemError(("CreateProcessA " + program).c_str());
  CloseHandle(childInput);
  CloseHandle(childOutput);
  if (!started) {
    CloseHandle(input);
    CloseHandle(output);
    return nullptr;
  }
  CloseHandle(info.hThread);
  auto handles = std::make_unique<Handles>();
  handles->process = info.hProcess;
  handles->input = input;
  handles->output = output;
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(handles)));
}

ChildProcess::~ChildProcess() {
  closeIfOpen(handles_->input);
  if (!exited()) {
    kill();
    WaitForSingleObject(handles_->process, INFINITE);
  }
  closeIfOpen(handles_->output);
  closeIfOpen(handles_->process);
}

bool ChildProcess::writeInput(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    if (!handles_->input) return false;
    DWORD written = 0;
    if (!WriteFile(handles_->input, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) ||
        written == 0) {
      return false;
    }
    bytes = bytes.subspan(written);
  }
  return true;
}

void ChildProcess::closeInput() { closeIfOpen(handles_->input); }

std::size_t ChildProcess::readOutput(std::span<char> buffer) {
  DWORD read = 0;
  // A broken pipe is the end: every writer has gone.
  if (!ReadFile(handles_->output, buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                nullptr)) {
    return 0;
  }
  return read;
}

std::optional<ChildExit> ChildProcess::exited() {
  if (exit_) return exit_;
  if (WaitForSingleObject(handles_->process, 0) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(handles_->process, &code);
  // An exception or TerminateProcess leaves a code no exit() gives.
  exit_ = ChildExit{code <= 255 ? std::optional<int>(static_cast<int>(code)) : std::nullopt};
  return exit_;
}

void ChildProcess::kill() {
  if (!exit_) TerminateProcess(handles_->process, kKilledExitCode);
}

// Backslashes are literal unless they precede a quote. cmd.exe's own
// characters count too, so a word is one word in a console line as well.
std::string shellWord(std::string_view word) {
  if (!word.empty() && word.find_first_of(" \t\"&|<>^()") == std::string_view::npos) {
    return std::string(word);
  }
  std::string result = "\"";
  std::size_t backslashes = 0;
  for (const char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    result.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    result += c;
  }
  result.append(backslashes * 2, '\\');
  return result + "\"";
}

std::string ownProgramPath() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

// A running program's file cannot be deleted, so it is the one started.
std::string startedProgramPath() { return ownProgramPath(); }

std::string shownShellWord(std::string_view word) { return shellWord(word); }

void useParentPipes() {}

std::size_t readFromParent(std::span<std::uint8_t> buffer) {
  DWORD read = 0;
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer.data(), static_cast<DWORD>(buffer.size()),
                &read, nullptr)) {
    return 0;
  }
  return read;
}

bool writeToParent(std::string_view text) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  while (!text.empty()) {
    DWORD written = 0;
    if (!WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written == 0) {
      return false;
    }
    text.remove_prefix(written);
  }
  return true;
}

void catchInterrupt() { SetConsoleCtrlHandler(onControl, TRUE); }

bool interrupted() { return interruptFlag; }

}  // namespace voren
