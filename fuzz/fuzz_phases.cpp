// libFuzzer target: a DATA file separated into stress phases (see
// fuzz_new_inputs.hpp).
#include "fuzz/fuzz_new_inputs.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zk::fuzz::run_separation(data, size);
  return 0;
}
