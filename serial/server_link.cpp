#include "serial/server_link.h"

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

}  // namespace winseria
