#pragma once
// The run input of the plane choice's tests: a random search over every
// tensor (INDX 1) at POURC 100.
#include "mechanisms/choice.hpp"

namespace zk::mech {

inline RunInput synthetic_input(int NTIR, int NSEED) {
  RunInput base;
  base.faults.title = "synthetic";
  base.params.INDX = 1;
  base.params.POURC = 100;
  base.params.NTIR = NTIR;
  base.params.NSEED = NSEED;
  return base;
}

}  // namespace zk::mech
