#pragma once
// TWatekObslugiKomunikatow, the monitoring worker outside callers start with
// OpenThread: it reports transfers that wait for their time-out and follows
// the server link's commands.
#include <memory>

#include "serial/runtime_thread.h"
#include "serial/server_link.h"

namespace winseria {

class TWatekObslugiKomunikatow : public RuntimeThread {
 public:
  explicit TWatekObslugiKomunikatow(ServerLink& link);
  // Requests the stop, ends a suspended state and waits for the thread.
  ~TWatekObslugiKomunikatow() override;

  bool Suspended() const { return suspended_; }

 protected:
  void Execute() override;

 private:
  void FollowCommand();

  ServerLink& link_;
  HANDLE wake_;
  std::atomic<bool> suspended_{false};
};

struct MonitorState {
  std::unique_ptr<TWatekObslugiKomunikatow> MonitorThread;
  // Where the worker's notices go and its commands come from.
  ServerLink* Link = &silentServerLink();
};

MonitorState& monitorState();

void OpenMonitor();
void CloseMonitor();

}  // namespace winseria
