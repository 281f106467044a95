#pragma once
// The monitoring worker outside callers start with OpenThread, and the
// server link it talks to.
#include <atomic>
#include <optional>

#include "platform/win32/win32.h"
#include "serial/workers.h"

namespace winseria {

// The link to a supervising program, through which it could suspend, resume,
// break or query the driver. This program never gets a message identifier
// for it, so notices go nowhere and polls find nothing; the monitoring worker
// talks to it through this interface all the same.
class ServerLink {
 public:
  virtual ~ServerLink() = default;
  virtual void Notice(char letter, int number) = 0;
  // A command letter, or none.
  virtual std::optional<char> Poll() = 0;
  // Blocks until a message could have arrived, or wake is set.
  virtual void WaitMessage(HANDLE wake) = 0;
};

// The link as this program has it.
ServerLink& silentServerLink();

// TWatekObslugiKomunikatow, the monitoring worker: it reports transfers that
// wait for their time-out and follows the server link's commands. Its stop
// signal also wakes it from the suspended state.
class TWatekObslugiKomunikatow : public RuntimeThread {
 public:
  explicit TWatekObslugiKomunikatow(ServerLink& link);
  ~TWatekObslugiKomunikatow() override { EndBeforeDestruction(); }

  bool Suspended() const { return suspended_; }

 protected:
  void Execute() override;

 private:
  void FollowCommand();

  ServerLink& link_;
  std::atomic<bool> suspended_{false};
};

}  // namespace winseria
