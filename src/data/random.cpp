#include "data/random.hpp"

#include <cstdint>

namespace zk {

namespace {

// Multiplier digits (the same as the starting state) and the digit base.
constexpr int kJ1 = 3823;
constexpr int kJ2 = 4006;
constexpr int kJ3 = 2903;
constexpr int kBase = 4096;
// 2^-12, 2^-24, 2^-36: weights of the three digits.
constexpr float kF1 = 0.000244140625f;
constexpr float kF2 = 5.9604645E-8f;
constexpr float kF3 = 1.4551915E-11f;

constexpr std::uint64_t kMask36 = (std::uint64_t{1} << 36) - 1;
constexpr std::uint64_t kMultiplier =
    (std::uint64_t{kJ1} << 24) + (std::uint64_t{kJ2} << 12) + std::uint64_t{kJ3};

}  // namespace

void RANDUN(Workspace& ws, float& U) {
  randun_t& s = ws.randun;
  // Schoolbook product of the digits, lowest digit first; every
  // intermediate fits in 32 bits.
  const int T0 = s.I3 * kJ3;
  const int C1 = T0 / kBase;
  const int T1 = s.I3 * kJ2 + s.I2 * kJ3 + C1;
  const int C2 = T1 / kBase;
  const int T2 = s.I3 * kJ1 + s.I2 * kJ2 + s.I1 * kJ3 + C2;
  const int C3 = T2 / kBase;
  s.I1 = T2 - kBase * C3;
  s.I2 = T1 - kBase * C2;
  s.I3 = T0 - kBase * C1;
  const float hi = static_cast<float>(s.I1) * kF1;
  const float mid = static_cast<float>(s.I2) * kF2;
  const float lo = static_cast<float>(s.I3) * kF3;
  const float sum = hi + mid;
  U = sum + lo;
}

void RINDU(Workspace& ws, float& V, float S) {
  float U = 0.0f;
  RANDUN(ws, U);
  V = U * S;
}

void reset_randun(Workspace& ws) { ws.randun = randun_t{}; }

void discard_randun(Workspace& ws, int n) {
  if (n <= 0) return;
  randun_t& s = ws.randun;
  // Products wrap modulo 2^64, of which 2^36 is a divisor, so masking after
  // each product gives the exact residue.
  std::uint64_t x = (static_cast<std::uint64_t>(s.I1) << 24) |
                    (static_cast<std::uint64_t>(s.I2) << 12) | static_cast<std::uint64_t>(s.I3);
  std::uint64_t a = kMultiplier;
  auto k = static_cast<unsigned>(n);
  while (k != 0) {
    if (k & 1u) x = (x * a) & kMask36;
    a = (a * a) & kMask36;
    k >>= 1;
  }
  s.I1 = static_cast<int>((x >> 24) & 0xFFF);
  s.I2 = static_cast<int>((x >> 12) & 0xFFF);
  s.I3 = static_cast<int>(x & 0xFFF);
}

}  // namespace zk
