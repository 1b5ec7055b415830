#pragma once
// One fuzz input run through the program's readers and a whole run: shared
// by the libFuzzer target (fuzz_run.cpp) and the corpus replay test.
//
// Input: the PARAMETERS file, a 0xFF byte, then the DATA file (no 0xFF: all
// of it is the PARAMETERS file and the DATA file is empty). The two are
// written to a scratch directory and opened on units 3 and 4 as the console
// program does. The program's own errors (rt::InputError, rt::RunStop,
// rt::EndOfInput) are normal outcomes; anything else escapes to the caller.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "areas/workspace.hpp"
#include "engine/engine.hpp"
#include "runtime/errors.hpp"

namespace zk::fuzz {

// Inputs asking for more draws than this are read but not run: the run time
// of stage 1 grows with NTIR and the fuzzer looks for faults, not patience.
constexpr int kMaxDraws = 20;

enum class Outcome { Completed, Refused, Skipped };

namespace detail {

namespace fs = std::filesystem;

// The scratch directory of this process, removed at exit.
class Scratch {
 public:
  Scratch() {
    fs::path base = "/dev/shm";
    std::error_code ec;
    if (!fs::is_directory(base, ec) || ::access(base.c_str(), W_OK) != 0) base = fs::temp_directory_path();
    std::string templ = (base / "zarkel-fuzz-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("cannot make a scratch directory");
    dir_ = templ;
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  fs::path at(const char* name) const { return dir_ / name; }

 private:
  fs::path dir_;
};

inline const Scratch& scratch() {
  static const Scratch s;
  return s;
}

inline void write_file(const fs::path& p, std::string_view bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + p.string());
}

// The three units of a run, as the console program opens them.
inline void open_units(Workspace& ws) {
  const Scratch& s = scratch();
  if (!ws.units.open(3, s.at("PARAMETERS").string(), "old") || !ws.units.open(4, s.at("DATA").string(), "old") ||
      !ws.units.open(8, s.at("OUTPUT").string(), "unknown")) {
    throw std::runtime_error("cannot open the scratch files");
  }
  store_constants(ws);
}

}  // namespace detail

inline Outcome run_one(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(bytes), size);
  const std::size_t cut = all.find('\xff');
  const std::string_view parameters = all.substr(0, cut);
  const std::string_view data = cut == std::string_view::npos ? std::string_view() : all.substr(cut + 1);
  const auto& s = detail::scratch();
  detail::write_file(s.at("PARAMETERS"), parameters);
  detail::write_file(s.at("DATA"), data);

  std::istringstream console_in;
  std::ostringstream console_out;

  // The input is read once; a run asking for many draws is not made.
  Workspace ws(console_in, console_out);
  detail::open_units(ws);
  try {
    const RunInput input = read_run_input(ws);
    if (input.params.random_search() && input.params.NTIR > kMaxDraws) return Outcome::Skipped;
    invert(input.faults, input.params, ws, ListingSink::output_unit());
    ws.units.close(unit::kParameters);
    ws.units.close(unit::kData);
    ws.units.close(unit::kListing);
  } catch (const rt::RunError&) {
    return Outcome::Refused;
  }
  return Outcome::Completed;
}

}  // namespace zk::fuzz
