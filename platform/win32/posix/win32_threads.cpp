// Threads, thread priorities and the process priority class.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <thread>
#include <unordered_map>

#include "platform/win32/posix/win32_fault_points.h"
#include "platform/win32/posix/win32_objects.h"

namespace voren::win32 {
namespace {

// The pseudo-handles of GetCurrentProcess and GetCurrentThread.
const HANDLE currentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
const HANDLE currentThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));

DWORD currentTid() { return static_cast<DWORD>(syscall(SYS_gettid)); }

// Priorities become nice values, per thread as Linux keeps them: the class
// gives the base, a thread's priority moves it. Real-time scheduling is not
// used: measured here, waking a SCHED_FIFO worker costs more than it saves.
void applyThreadPriority(DWORD tid, int priority);
void forgetThread(DWORD tid);

class Thread : public Object {
 public:
  Thread(LPTHREAD_START_ROUTINE start, LPVOID parameter, bool suspended)
      : start_(start), parameter_(parameter), suspendCount_(suspended ? 1 : 0) {}

  ~Thread() override {
    // The last reference may be dropped by the thread itself on its way out.
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }

  // Starts the system thread and waits until it knows its id.
  void launch(const std::shared_ptr<Thread>& self) {
    thread_ = std::thread([self] { self->run(); });
    std::unique_lock lock(signalMutex());
    started_.wait(lock, [this] { return id_ != 0; });
  }

  DWORD resume() {
    std::lock_guard lock(signalMutex());
    const DWORD previous = suspendCount_;
    if (suspendCount_ > 0 && --suspendCount_ == 0) started_.notify_all();
    return previous;
  }

  bool signalled() const override { return finished_; }

  DWORD id() const { return id_; }
  DWORD exitCode() const {
    std::lock_guard lock(signalMutex());
    return finished_ ? exitCode_ : STILL_ACTIVE;
  }
  int priority() const { return priority_; }
  void setPriority(int priority) {
    priority_ = priority;
    applyThreadPriority(id_, priority);
  }

 private:
  void run() {
    {
      std::unique_lock lock(signalMutex());
      id_ = currentTid();
      started_.notify_all();
      started_.wait(lock, [this] { return suspendCount_ == 0; });
    }
    const DWORD code = start_(parameter_);
    forgetThread(id_);
    Wakeups wakeups;
    std::lock_guard lock(signalMutex());
    exitCode_ = code;
    finished_ = true;
    wakeups.collect(*this);
  }

  const LPTHREAD_START_ROUTINE start_;
  const LPVOID parameter_;
  std::thread thread_;
  std::condition_variable started_;
  // Guarded by signalMutex():
  DWORD id_ = 0;
  DWORD suspendCount_;
  bool finished_ = false;
  DWORD exitCode_ = STILL_ACTIVE;
  std::atomic<int> priority_{THREAD_PRIORITY_NORMAL};
};

class Process : public Object {
 public:
  explicit Process(DWORD access) : access(access) {}
  const DWORD access;
};

// Nice values standing for the priority classes.
int niceOf(DWORD priorityClass) {
  switch (priorityClass) {
    case IDLE_PRIORITY_CLASS:
      return 19;
    case BELOW_NORMAL_PRIORITY_CLASS:
      return 10;
    case ABOVE_NORMAL_PRIORITY_CLASS:
      return -5;
    case HIGH_PRIORITY_CLASS:
      return -10;
    case REALTIME_PRIORITY_CLASS:
      return -20;
    default:
      return 0;
  }
}

DWORD classOfNice(int nice) {
  if (nice >= 15) return IDLE_PRIORITY_CLASS;
  if (nice >= 5) return BELOW_NORMAL_PRIORITY_CLASS;
  if (nice > -3) return NORMAL_PRIORITY_CLASS;
  if (nice > -8) return ABOVE_NORMAL_PRIORITY_CLASS;
  if (nice > -15) return HIGH_PRIORITY_CLASS;
  return REALTIME_PRIORITY_CLASS;
}

struct ProcessPriorities {
  std::mutex mutex;
  // The class last asked for; until then the one the nice value stands for.
  // It reads back as asked even when the system refused the nice change.
  DWORD priorityClass = 0;
  std::optional<int> startNice;
  std::unordered_map<DWORD, int> threadPriorities;  // threads given a priority of their own
};

ProcessPriorities& processPriorities() {
  static auto* instance = new ProcessPriorities;
  return *instance;
}

// Under the record's mutex. The class the start nice stands for stands for
// that nice value itself, so putting the class back puts the process back
// where it started (nice 5 reads as below normal, whose own value is 10).
int baseNice(ProcessPriorities& s) {
  if (!s.startNice) s.startNice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
  if (s.priorityClass != 0 && s.priorityClass != classOfNice(*s.startNice)) {
    return niceOf(s.priorityClass);
  }
  return *s.startNice;
}

int niceFor(int base, int priority) {
  switch (priority) {
    case THREAD_PRIORITY_TIME_CRITICAL:
      return -20;
    case THREAD_PRIORITY_IDLE:
      return 19;
    default:
      // One Windows level is two nice steps, highest (+2) four below the base.
      return std::clamp(base - 2 * priority, -20, 19);
  }
}

// A refused change (no privileges to lower nice) leaves the thread as it is.
void setNice(DWORD tid, int nice) { setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice); }

void applyThreadPriority(DWORD tid, int priority) {
  auto& s = processPriorities();
  std::lock_guard lock(s.mutex);
  s.threadPriorities[tid] = priority;
  setNice(tid, niceFor(baseNice(s), priority));
}

void forgetThread(DWORD tid) {
  auto& s = processPriorities();
  std::lock_guard lock(s.mutex);
  s.threadPriorities.erase(tid);
}

// Linux keeps nice per thread: the class reaches every thread of the process.
void applyClass(ProcessPriorities& s) {
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return;
  while (const dirent* entry = readdir(tasks)) {
    const auto tid = static_cast<DWORD>(std::atoi(entry->d_name));
    if (tid == 0) continue;
    const auto own = s.threadPriorities.find(tid);
    setNice(tid, niceFor(baseNice(s),
                         own == s.threadPriorities.end() ? THREAD_PRIORITY_NORMAL : own->second));
  }
  closedir(tasks);
}

std::shared_ptr<Process> processOf(HANDLE handle, DWORD needed) {
  if (handle == currentProcess) return std::make_shared<Process>(needed);
  auto process = findAs<Process>(handle);
  if (!process) return fail(ERROR_INVALID_HANDLE, nullptr);
  if ((process->access & needed) == 0) return fail(ERROR_ACCESS_DENIED, nullptr);
  return process;
}

}  // namespace
}  // namespace voren::win32

using namespace voren::win32;
using voren::faults::Call;

extern "C" {

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD creationFlags, LPDWORD threadId) {
  if (injectFault(Call::CreateThread)) return nullptr;
  if (start == nullptr) return fail(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
  auto thread = std::make_shared<Thread>(start, parameter, (creationFlags & CREATE_SUSPENDED) != 0);
  try {
    thread->launch(thread);
  } catch (const std::system_error&) {
    return fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HANDLE>(nullptr));
  }
  if (threadId != nullptr) *threadId = thread->id();
  return insertHandle(thread);
}

DWORD ResumeThread(HANDLE thread) {
  const auto t = findAs<Thread>(thread);
  if (!t) return fail(ERROR_INVALID_HANDLE, static_cast<DWORD>(-1));
  return t->resume();
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  const auto t = findAs<Thread>(thread);
  if (!t) return fail(ERROR_INVALID_HANDLE, FALSE);
  if (exitCode == nullptr) return fail(ERROR_INVALID_PARAMETER, FALSE);
  *exitCode = t->exitCode();
  return TRUE;
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
  if (thread == currentThread) {
    applyThreadPriority(currentTid(), priority);
    return TRUE;
  }
  const auto t = findAs<Thread>(thread);
  if (!t) return fail(ERROR_INVALID_HANDLE, FALSE);
  t->setPriority(priority);
  return TRUE;
}

int GetThreadPriority(HANDLE thread) {
  if (thread == currentThread) {
    auto& s = processPriorities();
    std::lock_guard lock(s.mutex);
    const auto own = s.threadPriorities.find(currentTid());
    return own == s.threadPriorities.end() ? THREAD_PRIORITY_NORMAL : own->second;
  }
  const auto t = findAs<Thread>(thread);
  if (!t) return fail(ERROR_INVALID_HANDLE, THREAD_PRIORITY_ERROR_RETURN);
  return t->priority();
}

HANDLE GetCurrentThread() { return currentThread; }

DWORD GetCurrentThreadId() { return currentTid(); }

HANDLE GetCurrentProcess() { return currentProcess; }

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

HANDLE OpenProcess(DWORD desiredAccess, BOOL, DWORD processId) {
  if (injectFault(Call::OpenProcess)) return nullptr;
  // Only the own process is ours to manage.
  if (processId != GetCurrentProcessId()) {
    return fail(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
  }
  return insertHandle(std::make_shared<Process>(desiredAccess));
}

DWORD GetPriorityClass(HANDLE process) {
  if (!processOf(process, PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION)) return 0;
  auto& s = processPriorities();
  std::lock_guard lock(s.mutex);
  return s.priorityClass != 0 ? s.priorityClass : classOfNice(baseNice(s));
}

BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) {
  if (injectFault(Call::SetPriorityClass)) return FALSE;
  if (!processOf(process, PROCESS_SET_INFORMATION)) return FALSE;
  switch (priorityClass) {
    case IDLE_PRIORITY_CLASS:
    case BELOW_NORMAL_PRIORITY_CLASS:
    case NORMAL_PRIORITY_CLASS:
    case ABOVE_NORMAL_PRIORITY_CLASS:
    case HIGH_PRIORITY_CLASS:
    case REALTIME_PRIORITY_CLASS:
      break;
    default:
      return fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  auto& s = processPriorities();
  std::lock_guard lock(s.mutex);
  s.priorityClass = priorityClass;
  applyClass(s);
  return TRUE;
}

}  // extern "C"
