#pragma once
// The unit's single port object and whether InitializePort has run.
#include <memory>

#include "serial/comm.h"

namespace winseria {

struct PortObjectState {
  std::unique_ptr<TComm> PortObject;
  bool Initialized = false;
};

PortObjectState& portObjectState();

inline TComm* portObject() { return portObjectState().PortObject.get(); }

}  // namespace winseria
