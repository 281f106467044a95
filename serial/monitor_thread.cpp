#include "serial/monitor_thread.h"

#include <cstdio>

#include "serial/transfer_state.h"

namespace winseria {

TWatekObslugiKomunikatow::TWatekObslugiKomunikatow(ServerLink& link)
    : link_(link), wake_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

TWatekObslugiKomunikatow::~TWatekObslugiKomunikatow() {
  Terminate();
  if (wake_ != nullptr) SetEvent(wake_);
  EndBeforeDestruction();
  if (wake_ != nullptr) CloseHandle(wake_);
}

void TWatekObslugiKomunikatow::Execute() {
  const auto& t = transferState();
  while (!Terminated()) {
    Sleep(1);
    if (t.WriteWaiting || t.ReadWaiting) {
      std::puts("odmierzam timeout");
      std::fflush(stdout);
      link_.Notice('A', 0);
    }
    FollowCommand();
    // A stop request ends the suspended state too, or CloseThread would
    // wait for a resume command that may never come.
    while (suspended_ && !Terminated()) {
      link_.WaitMessage(wake_);
      FollowCommand();
    }
  }
}

void TWatekObslugiKomunikatow::FollowCommand() {
  const auto command = link_.Poll();
  if (!command) return;
  switch (*command) {
    case 's':
      suspended_ = true;
      link_.Notice('S', 0);
      break;
    case 'r':
      suspended_ = false;
      link_.Notice('R', 0);
      break;
    case 'b':
      link_.Notice('B', 0);
      break;
    case 'a':
      link_.Notice('A', 0);
      break;
    case 'e':
      link_.Notice('E', 0);
      break;
    default:
      break;
  }
}

MonitorState& monitorState() {
  // Never destroyed: a worker still running at exit keeps its link.
  static auto* state = new MonitorState;
  return *state;
}

void OpenMonitor() {
  auto& m = monitorState();
  // One monitoring worker at a time: a second OpenThread replaces the first.
  m.MonitorThread.reset();
  m.MonitorThread = std::make_unique<TWatekObslugiKomunikatow>(*m.Link);
  m.MonitorThread->SetPriority(THREAD_PRIORITY_NORMAL);
  m.MonitorThread->Resume();
}

void CloseMonitor() { monitorState().MonitorThread.reset(); }

}  // namespace winseria
