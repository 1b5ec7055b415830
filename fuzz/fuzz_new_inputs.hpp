#pragma once
// Fuzz entries of the newer inputs, shared by their libFuzzer targets and
// the corpus replay test (as fuzz_entry.hpp is for a whole run):
//   run_mechanism_table: the bytes are a focal-mechanism table (CSV), read,
//     written as the DATA of the given planes and of the other planes, and
//     each read back as the engine will read it;
//   run_separation: the first byte chooses the number of phases (auto or
//     1 to 3) and NTIR (1 to 8), the rest is a DATA file, separated into
//     stress phases by one search stream (more streams repeat the same code
//     with other keys).
// The program's own errors are normal outcomes; anything else escapes.
#include "fuzz/fuzz_entry.hpp"
#include "import/mechanism_table.hpp"
#include "phases/separate.hpp"

namespace zk::fuzz {

// Data sets larger than this are read but not separated: under the
// fuzzer's instrumentation a separation of 14 data takes seconds, and the
// small sets already reach every step (k = 2 from 12 data).
constexpr int kMaxSeparatedData = 14;

inline Outcome run_mechanism_table(const std::uint8_t* bytes, std::size_t size) {
  const auto& s = detail::scratch();
  detail::write_file(s.at("MECHANISMS.csv"), std::string_view(reinterpret_cast<const char*>(bytes), size));
  try {
    const import::MechanismTable t = import::read_mechanism_table(s.at("MECHANISMS.csv").string(), {});
    for (int plane : {1, 2}) {
      const mech::Choice choice(t.events.size(), plane);
      detail::write_file(s.at("DATA"), import::mechanism_data_text("fuzz", t.events, choice));
      import::check_mechanism_data(s.at("DATA").string(), t.events, choice);
    }
  } catch (const rt::RunError&) {
    return Outcome::Refused;
  }
  return Outcome::Completed;
}

inline Outcome run_separation(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return Outcome::Refused;
  const int phases = bytes[0] % 4;  // 0: auto
  const int ntir = 1 + (bytes[0] >> 2) % 8;
  const auto& s = detail::scratch();
  detail::write_file(s.at("PARAMETERS"), "1 0\n1 100 " + std::to_string(ntir) + " 7 0\n");
  detail::write_file(s.at("DATA"), std::string_view(reinterpret_cast<const char*>(bytes) + 1, size - 1));
  std::istringstream console_in;
  std::ostringstream console_out;
  Workspace ws(console_in, console_out);
  detail::open_units(ws);
  try {
    const RunInput input = read_run_input(ws);
    if (static_cast<int>(input.faults.data.size()) > kMaxSeparatedData) return Outcome::Skipped;
    const phases::Options o{phases, 3, 30.0, 1, 1};  // one job, one stream
    if (!phases::separation_problem(input.params, o).empty()) return Outcome::Refused;
    if (!invert_problem(input.faults, input.params).empty()) return Outcome::Refused;
    phases::separate(input.faults, input.params, o);
  } catch (const rt::RunError&) {
    return Outcome::Refused;
  } catch (const phases::OptionError&) {
    return Outcome::Refused;
  }
  return Outcome::Completed;
}

}  // namespace zk::fuzz
