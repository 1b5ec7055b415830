// The PARAMETERS file: selection records, the run parameter record with its
// boxed echo, the imposed tensor of mode 6.
#include "data/parameters.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "data/input_context.hpp"
#include "runtime/numbers.hpp"
#include "runtime/printable.hpp"

namespace zk {

namespace {

constexpr int kLineLen = 80;        // selection lines are scanned over 80 columns
constexpr int kMaxListLines = 20;   // the line after the 20th is read and dropped
constexpr int kMaxTokenLen = 9;     // a token is read with I1 .. I9
constexpr int kEndOfList = 999;
constexpr int kMinNMIN = 5;         // the regression needs at least 5 data

// Reads one selection token as an optionally signed whole number.
int read_token(const Workspace& ws, int line, int column, std::string_view tok) {
  const auto fail = [&](const std::string& why) -> rt::InputError {
    return rt::InputError(ws.units.file_name(unit::kParameters), line,
                          detail::where(ws, unit::kParameters, line) + ", column " + std::to_string(column) +
                              ": selection list item \"" + rt::escape_bytes(tok) + "\" " + why);
  };
  if (tok.size() > static_cast<std::size_t>(kMaxTokenLen)) {
    throw fail("is longer than 9 characters; datum numbers are whole numbers of at most 9 characters");
  }
  int value = 0;  // at most 9 digits: never out of range
  if (rt::parse_int(tok, value) != rt::Parse::Ok) throw fail("is not a whole number");
  return value;
}

// Scans one selection line; returns true when it holds the end mark 999.
bool scan_selection_line(Workspace& ws, const std::string& text, int line, std::vector<std::string>* warnings) {
  const int len = static_cast<int>(text.size()) < kLineLen ? static_cast<int>(text.size()) : kLineLen;
  const auto blank = [&](int p) { return text[static_cast<std::size_t>(p)] == ' ' || text[static_cast<std::size_t>(p)] == '\t'; };
  int p = 0;
  while (p < len) {
    if (blank(p)) {
      ++p;
      continue;
    }
    const int start = p;
    while (p < len && !blank(p)) ++p;
    const std::string_view tok(text.data() + start, static_cast<std::size_t>(p - start));
    const int value = read_token(ws, line, start + 1, tok);
    if (value == kEndOfList) {
      while (p < len && blank(p)) ++p;
      if (p < len && warnings != nullptr) {
        int end = p;
        while (end < len && !blank(end)) ++end;
        warnings->push_back(detail::where(ws, unit::kParameters, line) + ", column " + std::to_string(p + 1) + ": \"" +
                            rt::escape_bytes(text.substr(static_cast<std::size_t>(p), static_cast<std::size_t>(end - p))) +
                            "\" is left on the line after the end mark 999 of the selection list and is not read");
      }
      return true;
    }
    if (value == 0) continue;
    if (ws.eeet.NLIST >= kMaxList) {
      throw rt::RunStop(detail::where(ws, unit::kParameters, line) + ", column " + std::to_string(start + 1) +
                        ": the selection list holds more than " + std::to_string(kMaxList) + " numbers (at " +
                        std::to_string(value) + ")");
    }
    ws.eeet.NLIST = ws.eeet.NLIST + 1;
    ws.eeet.LIST(ws.eeet.NLIST) = value;
  }
  return false;
}

}  // namespace

void ENREG(Workspace& ws, std::vector<std::string>* warnings) {
  detail::read_list_expecting(ws, unit::kParameters, "selection switches ISEL IECHO", warnings, rt::target(ws.eeetc.ISEL),
                              rt::target(ws.eeetc.IECHO));
  ws.eeet.NLIST = 0;
  if (ws.eeetc.ISEL == 1) return;
  for (int n = 1; n <= kMaxListLines + 1; ++n) {
    if (ws.units.at_end(unit::kParameters)) return;  // the end of the file ends the list
    const std::string text = ws.units.read_record(unit::kParameters);
    if (n > kMaxListLines) return;  // read and dropped
    if (scan_selection_line(ws, text, ws.units.line_number(unit::kParameters), warnings)) return;
  }
}

long long nmin_of(int N, int POURC) { return static_cast<long long>(N) * POURC / 100; }

std::string run_params_problem(const RunParams& p, int N) {
  const long long nmin = nmin_of(N, p.POURC);
  if (nmin < kMinNMIN || nmin > N) {
    return p.where + ": POURC = " + std::to_string(p.POURC) + " with N = " + std::to_string(N) +
           " data gives NMIN = " + std::to_string(nmin) + " data in the misfit sum; it must be at least " +
           std::to_string(kMinNMIN) + " and at most N (POURC at most 100)";
  }
  // Stage 1 runs for every INDX below 5; with no draw it would leave the
  // starting tensor unset.
  if (p.INDX <= 4 && p.NTIR <= 0) {
    return p.where + ": NTIR = " + std::to_string(p.NTIR) + " with INDX = " + std::to_string(p.INDX) +
           ": the random search needs at least one draw";
  }
  if (p.INDX < 1 || p.INDX > 6) {
    return "INDX = " + std::to_string(p.INDX) + " in the run parameters of " + p.where +
           " is not an inversion mode: INDX must be 1 to 6; no starting tensor can be set";
  }
  return "";
}

namespace {

constexpr const char* kRunNames[] = {"INDX", "POURC", "NTIR", "NSEED", "IPRINT"};
constexpr const char* kEulerNames[] = {"PSI", "TETA", "PHI", "R"};
constexpr float kFullTurn = 6.2831855f;

// The shortest text that reads back as `x`.
std::string shown_real(float x) {
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, res.ptr);
}

// "ends at "/" after 2 of its 5 values (INDX POURC): NTIR NSEED IPRINT stay 0"
std::string ended_early(int given, std::span<const char* const> names) {
  std::string read, rest;
  for (std::size_t k = 0; k < names.size(); ++k) {
    std::string& to = static_cast<int>(k) < given ? read : rest;
    if (!to.empty()) to += ' ';
    to += names[k];
  }
  return "ends at \"/\" after " + std::to_string(given) + " of its " + std::to_string(names.size()) + " values" +
         (read.empty() ? "" : " (" + read + ")") + ": " + rest + " stay 0";
}

}  // namespace

std::vector<std::string> run_params_warnings(const RunParams& p) {
  std::vector<std::string> w;
  const auto angle = [&](const char* name, int value, int most, bool used) {
    if (used && (value < 0 || value > most)) {
      w.push_back(p.imposed_where + ": imposed " + name + " = " + std::to_string(value) + " is outside 0 to " +
                  std::to_string(most) + " degrees");
    }
  };
  const bool s1 = p.INDX == 2 || p.INDX == 4 || p.INDX == 5;
  const bool s3 = p.INDX == 3 || p.INDX == 4 || p.INDX == 5;
  angle("S1DIR", p.S1DIR, 360, s1);
  angle("S1PEN", p.S1PEN, 90, s1);
  angle("S3DIR", p.S3DIR, 360, s3);
  angle("S3PEN", p.S3PEN, 90, s3);
  if (p.INDX == 6) {
    for (int k = 1; k <= 3; ++k) {
      if (!(std::fabs(p.euler(k)) <= kFullTurn)) {
        w.push_back(p.imposed_where + ": imposed " + kEulerNames[k - 1] + " = " + shown_real(p.euler(k)) +
                    " is more than a full turn: Euler angles are in radians");
      }
    }
  }
  const float R = p.INDX == 6 ? p.euler(4) : p.R;
  if ((p.INDX == 5 || p.INDX == 6) && !(R >= 0.0f && R <= 1.0f)) {
    w.push_back(p.imposed_where + ": imposed R = " + shown_real(R) +
                " is outside 0 to 1, where R = (sigma 2 - sigma 3) / (sigma 1 - sigma 3) lies");
  }
  return w;
}

RunParams read_run_parameters(Workspace& ws, int N, std::vector<std::string>* warnings) {
  RunParams p;
  p.ISEL = ws.eeetc.ISEL;
  p.IECHO = ws.eeetc.IECHO;
  if (p.ISEL != 1) {
    for (int k = 1; k <= ws.eeet.NLIST && k <= kMaxList; ++k) p.selection.push_back(ws.eeet.LIST(k));
  }
  detail::read_list_expecting(ws, unit::kParameters, "run parameters INDX POURC NTIR NSEED IPRINT", warnings, rt::target(p.INDX),
                              rt::target(p.POURC), rt::target(p.NTIR), rt::target(p.NSEED), rt::target(p.IPRINT));
  p.given = static_cast<int>(ws.units.items_given(unit::kParameters));
  p.where = detail::where(ws, unit::kParameters, ws.units.line_number(unit::kParameters));
  const std::string problem = run_params_problem(p, N);
  if (!problem.empty()) {
    // A value the record never gave is no value of the user's: say so.
    throw rt::RunStop(problem + (p.given < 5 ? "; the record " + ended_early(p.given, kRunNames) : ""));
  }

  if (p.INDX >= 2 && p.INDX <= 5) {
    detail::read_list_expecting(ws, unit::kParameters, "imposed axes S1DIR S1PEN S3DIR S3PEN R (INDX " + std::to_string(p.INDX) + ")", warnings,
                                rt::target(p.S1DIR), rt::target(p.S1PEN), rt::target(p.S3DIR), rt::target(p.S3PEN),
                                rt::target(p.R));
  } else if (p.INDX == 6) {
    detail::read_list_expecting(ws, unit::kParameters, "imposed tensor PSI TETA PHI R (INDX 6)", warnings, rt::target(p.euler(1)),
                                rt::target(p.euler(2)), rt::target(p.euler(3)), rt::target(p.euler(4)));
  }
  if (p.INDX >= 2 && p.INDX <= 6) {
    p.imposed_where = detail::where(ws, unit::kParameters, ws.units.line_number(unit::kParameters));
  }
  return p;
}

void list_run_parameters(Workspace& ws, const RunParams& p) {
  const char* title = ws.modi2.TITRE.data();
  ws.units.write(unit::kListing, "(//,T2,'*******************     PARAMETRES CHOISIS     ********************************')");
  ws.units.write(unit::kListing, "(T2,'*',T80,'*')");
  ws.units.write(unit::kListing, "(T2,'*  ',59A1,T80,'*')", rt::Chars{title, 59});
  ws.units.write(unit::kListing, "(T2,'*  ',21A1,T80,'*')", rt::Chars{title + 59, 21});
  ws.units.write(unit::kListing, "(T2,'*',T80,'*')");
  ws.units.write(unit::kListing,
                 "(T2,'*  VALEUR DE INDX CHOISIE ',I1,T80,'*',/ ,T2,'*  POURC ENTAGE SERVANT A LA MINIMISATION  ',"
                 "I3 ,T80,'*' ,/,T2,'*  NOMBRE  DE TIRAGES AU HASARD:   ',I3,T80,'*',/,"
                 "T2,'*  NOMBRE SERVANT A CE TIRAGE  ',I9,T80,'*',/,"
                 "T2,'*  NOMBRE DE TRIS DURANT LA MINIMISATION    ' ,I2,T80,'*')",
                 p.INDX, p.POURC, p.NTIR, p.NSEED, p.NTRI);
  ws.units.write(unit::kListing, "(T2,'*',T80,'*')");
  ws.units.write_list(unit::kListing, " *****************************************************************************");
  if (p.INDX == 6) {
    ws.units.write(unit::kListing, "(T2,'*     PSI=',F8.4,'  TETA=',F8.4,'  PHI=',F8.4,'  R=',F8.4,T80,'*')", p.euler(1),
                   p.euler(2), p.euler(3), p.euler(4));
  }
}

}  // namespace zk
