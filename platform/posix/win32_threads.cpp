// Threads, thread priorities and the process priority class.
#include <dirent.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "platform/posix/win32_fault_points.h"
#include "platform/posix/win32_objects.h"

namespace voren::win32 {
namespace {

// The pseudo-handles of GetCurrentProcess and GetCurrentThread.
const HANDLE currentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
const HANDLE currentThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));

DWORD currentTid() { return static_cast<DWORD>(syscall(SYS_gettid)); }

// Windows' time-critical level is the top of the normal range; the nearest
// Linux has is the lowest real-time level, which needs privileges. Refused,
// the thread stays at normal priority: slower to react, still correct.
void applyThreadPriority(pthread_t thread, int priority) {
  sched_param param{};
  if (priority == THREAD_PRIORITY_TIME_CRITICAL) {
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (pthread_setschedparam(thread, SCHED_FIFO, &param) == 0) return;
    param.sched_priority = 0;
  }
  pthread_setschedparam(thread, SCHED_OTHER, &param);
}

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
    std::lock_guard lock(signalMutex());
    if (!finished_) applyThreadPriority(thread_.native_handle(), priority);
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
    std::lock_guard lock(signalMutex());
    exitCode_ = code;
    finished_ = true;
    notifyWaiters();
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

struct ProcessState {
  std::mutex mutex;
  // The class last asked for; until then the one the nice value stands for.
  // It reads back as asked even when the system refused the nice change.
  DWORD priorityClass = 0;
};

ProcessState& processState() {
  static auto* instance = new ProcessState;
  return *instance;
}

// Linux keeps nice per thread: give it to every thread of the process.
void applyNice(int nice) {
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) {
    setpriority(PRIO_PROCESS, 0, nice);
    return;
  }
  while (const dirent* entry = readdir(tasks)) {
    const int tid = std::atoi(entry->d_name);
    if (tid > 0) setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
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
    applyThreadPriority(pthread_self(), priority);
    return TRUE;
  }
  const auto t = findAs<Thread>(thread);
  if (!t) return fail(ERROR_INVALID_HANDLE, FALSE);
  t->setPriority(priority);
  return TRUE;
}

int GetThreadPriority(HANDLE thread) {
  if (thread == currentThread) {
    int policy = 0;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    return policy == SCHED_FIFO ? THREAD_PRIORITY_TIME_CRITICAL : THREAD_PRIORITY_NORMAL;
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
  auto& s = processState();
  std::lock_guard lock(s.mutex);
  if (s.priorityClass == 0) {
    errno = 0;
    s.priorityClass = classOfNice(getpriority(PRIO_PROCESS, 0));
  }
  return s.priorityClass;
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
  auto& s = processState();
  std::lock_guard lock(s.mutex);
  s.priorityClass = priorityClass;
  applyNice(niceOf(priorityClass));
  return TRUE;
}

}  // extern "C"
