// The PARAMETERS file: selection records, the run parameter record with its
// boxed echo, the imposed tensor of mode 6.
#include "data/parameters.hpp"

#include <cstdint>
#include <string>
#include <string_view>

#include "data/input_context.hpp"
#include "data/random.hpp"

namespace zk {

namespace {

constexpr int kLineLen = 80;        // selection lines are scanned over 80 columns
constexpr int kMaxListLines = 20;   // the line after the 20th is read and dropped
constexpr int kMaxTokenLen = 9;     // a token is read with I1 .. I9
constexpr int kEndOfList = 999;
constexpr int kMinNMIN = 5;         // the regression needs at least 5 data

// A token as a message quotes it: a control character (a NUL would end the
// message) is written as \xNN.
std::string shown(std::string_view tok) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : tok) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    }
  }
  return out;
}

// Reads one selection token as an optionally signed whole number.
int read_token(const Workspace& ws, int line, int column, std::string_view tok) {
  const auto fail = [&](const std::string& why) -> rt::InputError {
    return rt::InputError(ws.units.file_name(3), line,
                          detail::where(ws, 3, line) + ", column " + std::to_string(column) +
                              ": selection list item \"" + shown(tok) + "\" " + why);
  };
  if (tok.size() > static_cast<std::size_t>(kMaxTokenLen)) {
    throw fail("is longer than 9 characters; datum numbers are whole numbers of at most 9 characters");
  }
  std::size_t k = 0;
  bool negative = false;
  if (tok[0] == '+' || tok[0] == '-') {
    negative = tok[0] == '-';
    k = 1;
  }
  if (k == tok.size()) throw fail("is not a whole number");
  int value = 0;
  for (; k < tok.size(); ++k) {
    const char c = tok[k];
    if (c < '0' || c > '9') throw fail("is not a whole number");
    value = value * 10 + (c - '0');  // at most 9 digits: no overflow
  }
  return negative ? -value : value;
}

// Scans one selection line; returns true when it holds the end mark 999.
bool scan_selection_line(Workspace& ws, const std::string& text, int line) {
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
    if (value == kEndOfList) return true;
    if (value == 0) continue;
    if (ws.eeet.NLIST >= kMaxList) {
      throw rt::RunStop(detail::where(ws, 3, line) + ", column " + std::to_string(start + 1) +
                        ": the selection list holds more than " + std::to_string(kMaxList) + " numbers (at " +
                        std::to_string(value) + ")");
    }
    ws.eeet.NLIST = ws.eeet.NLIST + 1;
    ws.eeet.LIST(ws.eeet.NLIST) = value;
  }
  return false;
}

}  // namespace

void ENREG(Workspace& ws) {
  detail::read_list_expecting(ws, 3, "selection switches ISEL IECHO", rt::target(ws.eeetc.ISEL),
                              rt::target(ws.eeetc.IECHO));
  ws.eeet.NLIST = 0;
  if (ws.eeetc.ISEL == 1) return;
  for (int n = 1; n <= kMaxListLines + 1; ++n) {
    if (ws.units.at_end(3)) return;  // the end of the file ends the list
    const std::string text = ws.units.read_record(3);
    if (n > kMaxListLines) return;  // read and dropped
    if (scan_selection_line(ws, text, ws.units.line_number(3))) return;
  }
}

RunParams read_run_parameters(Workspace& ws) {
  RunParams p;
  const char* title = ws.modi2.TITRE.data();
  ws.units.write(8, "(//,T2,'*******************     PARAMETRES CHOISIS     ********************************')");
  ws.units.write(8, "(T2,'*',T80,'*')");
  ws.units.write(8, "(T2,'*  ',59A1,T80,'*')", rt::Chars{title, 59});
  ws.units.write(8, "(T2,'*  ',21A1,T80,'*')", rt::Chars{title + 59, 21});
  ws.units.write(8, "(T2,'*',T80,'*')");

  detail::read_list_expecting(ws, 3, "run parameters INDX POURC NTIR NSEED IPRINT", rt::target(p.INDX),
                              rt::target(p.POURC), rt::target(p.NTIR), rt::target(p.NSEED), rt::target(p.IPRINT));
  const int line = ws.units.line_number(3);
  ws.tiraz.INDX = p.INDX;
  ws.tiraz.NSEED = p.NSEED;
  discard_randun(ws, p.NSEED);
  p.NTRI = 50;

  ws.units.write(8,
                 "(T2,'*  VALEUR DE INDX CHOISIE ',I1,T80,'*',/ ,T2,'*  POURC ENTAGE SERVANT A LA MINIMISATION  ',"
                 "I3 ,T80,'*' ,/,T2,'*  NOMBRE  DE TIRAGES AU HASARD:   ',I3,T80,'*',/,"
                 "T2,'*  NOMBRE SERVANT A CE TIRAGE  ',I9,T80,'*',/,"
                 "T2,'*  NOMBRE DE TRIS DURANT LA MINIMISATION    ' ,I2,T80,'*')",
                 p.INDX, p.POURC, p.NTIR, p.NSEED, p.NTRI);
  ws.units.write(8, "(T2,'*',T80,'*')");
  ws.units.write_list(8, " *****************************************************************************");

  // Computed wide: POURC is whatever the file holds.
  const std::int64_t N = ws.tir.N;
  const std::int64_t nmin = N * static_cast<std::int64_t>(p.POURC) / 100;
  if (nmin < kMinNMIN || nmin > N) {
    throw rt::RunStop(detail::where(ws, 3, line) + ": POURC = " + std::to_string(p.POURC) + " with N = " +
                      std::to_string(N) + " data gives NMIN = " + std::to_string(nmin) +
                      " data in the misfit sum; it must be at least " + std::to_string(kMinNMIN) +
                      " and at most N (POURC at most 100)");
  }
  ws.ind.NMIN = static_cast<int>(nmin);

  // Stage 1 runs for every INDX below 5; with no draw it would leave the
  // starting tensor unset.
  if (p.INDX <= 4 && p.NTIR <= 0) {
    throw rt::RunStop(detail::where(ws, 3, line) + ": NTIR = " + std::to_string(p.NTIR) + " with INDX = " +
                      std::to_string(p.INDX) + ": the random search needs at least one draw");
  }
  return p;
}

void read_imposed_tensor(Workspace& ws, Vec4& P) {
  detail::read_list_expecting(ws, 3, "imposed tensor PSI TETA PHI R (INDX 6)", rt::target(P(1)), rt::target(P(2)),
                              rt::target(P(3)), rt::target(P(4)));
  ws.units.write(8, "(T2,'*     PSI=',F8.4,'  TETA=',F8.4,'  PHI=',F8.4,'  R=',F8.4,T80,'*')", P(1), P(2), P(3),
                 P(4));
}

}  // namespace zk
