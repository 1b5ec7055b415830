// The PARAMETERS file: selection records, the run parameter record with its
// boxed echo, the imposed tensor of mode 6.
#include "data/parameters.hpp"

#include <cstdint>
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

RunParams read_run_parameters(Workspace& ws, int N, std::vector<std::string>* warnings) {
  RunParams p;
  p.ISEL = ws.eeetc.ISEL;
  p.IECHO = ws.eeetc.IECHO;
  if (p.ISEL != 1) {
    for (int k = 1; k <= ws.eeet.NLIST && k <= kMaxList; ++k) p.selection.push_back(ws.eeet.LIST(k));
  }
  detail::read_list_expecting(ws, unit::kParameters, "run parameters INDX POURC NTIR NSEED IPRINT", warnings, rt::target(p.INDX),
                              rt::target(p.POURC), rt::target(p.NTIR), rt::target(p.NSEED), rt::target(p.IPRINT));
  p.where = detail::where(ws, unit::kParameters, ws.units.line_number(unit::kParameters));
  const std::string problem = run_params_problem(p, N);
  if (!problem.empty()) throw rt::RunStop(problem);

  if (p.INDX >= 2 && p.INDX <= 5) {
    detail::read_list_expecting(ws, unit::kParameters, "imposed axes S1DIR S1PEN S3DIR S3PEN R (INDX " + std::to_string(p.INDX) + ")", warnings,
                                rt::target(p.S1DIR), rt::target(p.S1PEN), rt::target(p.S3DIR), rt::target(p.S3PEN),
                                rt::target(p.R));
  } else if (p.INDX == 6) {
    detail::read_list_expecting(ws, unit::kParameters, "imposed tensor PSI TETA PHI R (INDX 6)", warnings, rt::target(p.euler(1)),
                                rt::target(p.euler(2)), rt::target(p.euler(3)), rt::target(p.euler(4)));
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
