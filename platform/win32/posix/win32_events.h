#pragma once
// Event objects: manual or automatic reset, as CreateEventA makes them.
#include "platform/win32/posix/win32_objects.h"

namespace voren::win32 {

class Event : public Object {
 public:
  Event(bool manualReset, bool initialState) : manualReset_(manualReset), state_(initialState) {}

  void set();
  void reset();

  bool signalled() const override { return state_; }
  void consume() override {
    if (!manualReset_) state_ = false;
  }

 private:
  const bool manualReset_;
  bool state_;  // guarded by signalMutex()
};

}  // namespace voren::win32
