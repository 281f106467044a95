#include "serial/monitor.h"

#include <cstdio>

#include "serial/unit_state.h"

namespace winseria {
namespace {

class SilentServerLink : public ServerLink {
 public:
  void Notice(char, int) override {}
  std::optional<char> Poll() override { return std::nullopt; }
  // No message ever comes; only the wake signal ends the wait.
  void WaitMessage(HANDLE wake) override { WaitForMultipleObjects(1, &wake, FALSE, INFINITE); }
};

}  // namespace

ServerLink& silentServerLink() {
  static SilentServerLink link;
  return link;
}

TWatekObslugiKomunikatow::TWatekObslugiKomunikatow(ServerLink& link) : link_(link) {
  StopSignal = Signal(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

void TWatekObslugiKomunikatow::Execute() {
  const auto& t = unitState().Transfer;
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
      link_.WaitMessage(StopSignal);
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

}  // namespace winseria
