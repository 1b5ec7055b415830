#include "driver/run_error.hpp"

#include <exception>
#include <string>
#include <string_view>

#include "runtime/errors.hpp"

namespace zk {
namespace {

// A message quotes what it could not read, which may be a 10 MB line or hold
// control bytes: longer than this, its middle is left out.
constexpr std::size_t kMessageHead = 300;
constexpr std::size_t kMessageTail = 200;

bool continuation(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

// Length of the valid UTF-8 sequence at s[k] (0 when invalid or when it
// encodes a character that does not show: a C1 control or a byte-order mark).
std::size_t shown_sequence(std::string_view s, std::size_t k) {
  const auto b = [&](std::size_t j) { return static_cast<unsigned char>(s[j]); };
  const unsigned char c = b(k);
  std::size_t len = 0;
  if (c >= 0xC2 && c <= 0xDF) len = 2;
  else if (c >= 0xE0 && c <= 0xEF) len = 3;
  else if (c >= 0xF0 && c <= 0xF4) len = 4;
  if (len == 0 || k + len > s.size()) return 0;
  for (std::size_t j = 1; j < len; ++j) {
    if (!continuation(b(k + j))) return 0;
  }
  if (c == 0xE0 && b(k + 1) < 0xA0) return 0;   // overlong
  if (c == 0xED && b(k + 1) > 0x9F) return 0;   // surrogate
  if (c == 0xF0 && b(k + 1) < 0x90) return 0;   // overlong
  if (c == 0xF4 && b(k + 1) > 0x8F) return 0;   // beyond U+10FFFF
  if (c == 0xC2 && b(k + 1) <= 0x9F) return 0;  // C1 control
  if (c == 0xEF && b(k + 1) == 0xBB && b(k + 2) == 0xBF) return 0;  // byte-order mark
  return len;
}

// Control bytes and bytes that are not text are written as \xNN, so the
// message shows what the file holds and cannot drive the terminal.
void append_printable(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (std::size_t k = 0; k < s.size();) {
    const auto c = static_cast<unsigned char>(s[k]);
    std::size_t len = 0;
    if (c >= 0x20 && c < 0x7F) len = 1;
    else if (c >= 0x80) len = shown_sequence(s, k);
    if (len > 0) {
      out.append(s.substr(k, len));
      k += len;
      continue;
    }
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
    ++k;
  }
}

std::string printable(std::string_view what) {
  std::string out;
  if (what.size() <= kMessageHead + kMessageTail) {
    append_printable(out, what);
    return out;
  }
  // Cut between characters, not inside a UTF-8 sequence.
  std::size_t head = kMessageHead;
  while (head > 0 && continuation(static_cast<unsigned char>(what[head]))) --head;
  std::size_t tail = what.size() - kMessageTail;
  while (tail < what.size() && continuation(static_cast<unsigned char>(what[tail]))) ++tail;
  append_printable(out, what.substr(0, head));
  out += " [... " + std::to_string(tail - head) + " characters left out ...] ";
  append_printable(out, what.substr(tail));
  return out;
}

void report_stop(std::ostream& out, const std::string& what, bool listing_started) {
  out << "\n *** ZARKEL STOPPED: " << printable(what) << "\n";
  if (listing_started) {
    out << " *** No listing was written (an existing OUTPUT file is left unchanged).\n";
  }
  out.flush();
}

}  // namespace

int report_run_error(std::ostream& out, bool listing_started) {
  try {
    throw;
  } catch (const rt::EndOfInput& e) {
    report_stop(out, std::string(e.what()) + ": no answer can be read, the run ends here.", listing_started);
  } catch (const rt::InputError& e) {
    // The message names the file and the line; add them where it does not.
    std::string msg = e.what();
    if (!e.file.empty() && msg.find(e.file) == std::string::npos) {
      std::string where = e.file;
      if (e.line > 0) where += ", line " + std::to_string(e.line);
      msg = where + ": " + msg;
    }
    report_stop(out, msg, listing_started);
  } catch (const rt::RunStop& e) {
    if (e.shown) {
      if (listing_started) report_stop(out, e.what(), true);
    } else {
      report_stop(out, e.what(), listing_started);
    }
    return e.status;
  }
  return 1;
}

}  // namespace zk
