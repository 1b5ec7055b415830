// libFuzzer target: a focal-mechanism table (see fuzz_new_inputs.hpp).
#include "fuzz/fuzz_new_inputs.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zk::fuzz::run_mechanism_table(data, size);
  return 0;
}
