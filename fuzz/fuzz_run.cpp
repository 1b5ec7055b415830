// libFuzzer target: PARAMETERS, 0xFF, DATA (see fuzz_entry.hpp).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_entry.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zk::fuzz::run_one(data, size);
  return 0;
}
