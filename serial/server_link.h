#pragma once
// The link to a supervising program, through which it could suspend, resume,
// break or query the driver. This program never gets a message identifier
// for it, so notices go nowhere and polls find nothing; the monitoring worker
// talks to it through this interface all the same.
#include <optional>

#include "platform/win32/win32.h"

namespace winseria {

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

}  // namespace winseria
