#pragma once
// The program's own random generator, multiplicative congruential: X = A * X
// mod 2^36 held as three 12-bit digits, A = 64155708247, X0 = A; values
// U = X / 2^36 in (0, 1], rounded to single precision. Deterministic from a fixed start, so the
// same files always give the same listing.
#include "areas/workspace.hpp"

namespace zk {

// Next uniform number U in (0, 1] (X / 2^36 rounded to single precision).
void RANDUN(Workspace& ws, float& U);
// V = U * S, U the next value of RANDUN.
void RINDU(Workspace& ws, float& V, float S);
// Puts the generator back to its starting state X0.
void reset_randun(Workspace& ws);
// Advances the generator by n values, as n calls of RANDUN would (nothing for
// n <= 0), in O(log n): X = A^n * X mod 2^36.
void discard_randun(Workspace& ws, int n);

}  // namespace zk
