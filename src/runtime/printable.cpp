#include "runtime/printable.hpp"

namespace zk::rt {

namespace {

constexpr std::size_t kMessageHead = 300;
constexpr std::size_t kMessageTail = 200;

bool continuation(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

// A byte-order mark is valid text but shows nothing: it is escaped.
bool byte_order_mark(std::string_view s, std::size_t k) { return s.substr(k, 3) == "\xEF\xBB\xBF"; }

void append_escaped(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (std::size_t k = 0; k < s.size();) {
    const auto c = static_cast<unsigned char>(s[k]);
    std::size_t len = 0;
    if (c >= 0x20 && c < 0x7F) len = 1;
    else if (c >= 0x80 && !byte_order_mark(s, k)) len = utf8_sequence(s, k);
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

}  // namespace

std::size_t utf8_sequence(std::string_view s, std::size_t k) {
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
  return len;
}

std::string escape_bytes(std::string_view s) {
  std::string out;
  append_escaped(out, s);
  return out;
}

std::string shortened(std::string_view s) {
  std::string out;
  if (s.size() <= kMessageHead + kMessageTail) {
    append_escaped(out, s);
    return out;
  }
  std::size_t head = kMessageHead;
  while (head > 0 && continuation(static_cast<unsigned char>(s[head]))) --head;
  std::size_t tail = s.size() - kMessageTail;
  while (tail < s.size() && continuation(static_cast<unsigned char>(s[tail]))) ++tail;
  append_escaped(out, s.substr(0, head));
  out += " [... " + std::to_string(tail - head) + " characters left out ...] ";
  append_escaped(out, s.substr(tail));
  return out;
}

}  // namespace zk::rt
