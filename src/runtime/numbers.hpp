#pragma once
// Reading numbers from text as the runtime reads them: the one rule for
// integers and reals, used by the formatted and list-directed readers, the
// selection list and the console answers.
#include <string_view>

namespace zk::rt {

enum class Parse { Ok, Bad, Range };

// An optionally signed integer of decimal digits, nothing else (no blanks);
// Range when it does not fit in 32 bits.
Parse parse_int(std::string_view t, int& out);

// A Fortran real: [sign] (digits [. [digits]] | . digits) [exponent], the
// exponent being E, D or Q with an optionally signed number, or a bare signed
// number (1.5-3 is 1.5E-3). `implied` digits of a number without a point are
// decimals (Fw.d input). Infinity, NaN and values beyond the range of a
// single-precision real are refused (Range); below its smallest value: zero.
Parse parse_real(std::string_view t, int implied, float& out);

}  // namespace zk::rt
