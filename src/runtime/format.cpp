// Format parser: a layout such as "(/,2X,'N0',5X,16(1H*),/)" becomes a small
// tree of nodes. Blanks outside texts are not significant and letters may be
// of either case, as in Fortran.
#include <cctype>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "runtime/errors.hpp"
#include "runtime/format.hpp"
#include "runtime/format_tree.hpp"

namespace zk::rt {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  Format parse() {
    Format f;
    f.source = std::string(s_);
    skip_blanks();
    if (!eat('(')) fail("a layout starts with '('");
    f.items = parse_list();
    if (!eat(')')) fail("missing ')'");
    skip_blanks();
    if (p_ != s_.size()) fail("text after the closing ')'");
    for (std::size_t k = 0; k < f.items.size(); ++k) {
      if (f.items[k].kind == Node::Kind::Group) f.reversion = k;
    }
    for (std::size_t k = 0; k < f.items.size(); ++k) {
      bool data = contains_data(f.items[k]);
      f.has_data = f.has_data || data;
      if (k >= f.reversion) f.reversion_has_data = f.reversion_has_data || data;
    }
    return f;
  }

 private:
  static bool contains_data(const Node& n) {
    if (n.is_data()) return true;
    for (const Node& c : n.children) {
      if (contains_data(c)) return true;
    }
    return false;
  }

  [[noreturn]] void fail(const std::string& why) const {
    throw FormatError("layout \"" + std::string(s_) + "\": " + why + " (at character " + std::to_string(p_ + 1) +
                      ")");
  }

  void skip_blanks() {
    while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\t')) ++p_;
  }
  // Next significant character, upper-cased; 0 at the end.
  char peek() {
    skip_blanks();
    return p_ < s_.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(s_[p_]))) : '\0';
  }
  bool eat(char c) {
    if (peek() != c) return false;
    ++p_;
    return true;
  }
  bool digit_next() { return std::isdigit(static_cast<unsigned char>(peek())) != 0; }
  // An unsigned number; blanks between its digits are ignored.
  int number() {
    if (!digit_next()) fail("a number was expected");
    long v = 0;
    while (digit_next()) {
      v = v * 10 + (s_[p_++] - '0');
      if (v > 1000000) fail("number too large");
    }
    return static_cast<int>(v);
  }

  std::vector<Node> parse_list() {
    std::vector<Node> out;
    for (;;) {
      char c = peek();
      if (c == ')' || c == '\0') return out;
      if (c == ',') {
        ++p_;
        continue;
      }
      out.push_back(parse_item());
    }
  }

  std::string quoted() {
    char q = s_[p_++];
    std::string t;
    for (;;) {
      if (p_ >= s_.size()) fail("unterminated text");
      char c = s_[p_++];
      if (c == q) {
        if (p_ < s_.size() && s_[p_] == q) {
          t += q;
          ++p_;
          continue;
        }
        return t;
      }
      t += c;
    }
  }

  Node parse_item() {
    Node n;
    char c = peek();
    if (c == '\'' || c == '"') {
      n.kind = Node::Kind::Text;
      n.text = quoted();
      return n;
    }
    if (c == '/') {
      ++p_;
      n.kind = Node::Kind::Slash;
      return n;
    }
    if (c == ':') {
      ++p_;
      n.kind = Node::Kind::Colon;
      return n;
    }
    bool counted = digit_next();
    int count = counted ? number() : 1;
    c = peek();
    if (counted && count == 0 && c != 'X') fail("a repeat count of zero");
    if (c == '(') {
      ++p_;
      n.kind = Node::Kind::Group;
      n.repeat = count;
      n.children = parse_list();
      if (!eat(')')) fail("missing ')'");
      return n;
    }
    if (c == '/') {
      ++p_;
      n.kind = Node::Kind::Slash;
      n.repeat = count;
      return n;
    }
    if (c == 'H' || c == 'X' || c == 'T') return position_or_text(c, counted, count);
    return data_descriptor(c, count);
  }

  // nH text, nX, Tn, TLn, TRn.
  Node position_or_text(char c, bool counted, int count) {
    Node n;
    if (c == 'H') {
      if (!counted) fail("H needs a character count");
      ++p_;  // the n characters after H are taken as they stand, blanks included
      if (p_ + static_cast<std::size_t>(count) > s_.size()) fail("Hollerith text runs past the end");
      n.kind = Node::Kind::Text;
      n.text = std::string(s_.substr(p_, static_cast<std::size_t>(count)));
      p_ += static_cast<std::size_t>(count);
      return n;
    }
    if (c == 'X') {
      ++p_;
      n.kind = Node::Kind::X;
      n.n = count;
      return n;
    }
    if (counted) fail("a repeat count before T");
    ++p_;
    n.kind = Node::Kind::T;
    if (eat('L')) {
      n.kind = Node::Kind::TL;
    } else if (eat('R')) {
      n.kind = Node::Kind::TR;
    }
    n.n = number();
    if (n.kind == Node::Kind::T && n.n < 1) fail("T needs a column of at least 1");
    return n;
  }

  // Iw[.m], Zw[.m], Fw.d, Ew.d[Ee], Lw, A[w], with its repeat count.
  Node data_descriptor(char c, int count) {
    Node n;
    n.repeat = count;
    ++p_;
    switch (c) {
      case 'I':
      case 'Z':
        n.kind = c == 'I' ? Node::Kind::I : Node::Kind::Z;
        n.w = number();
        if (eat('.')) {
          n.m = number();
          if (n.w > 0 && n.m > n.w) fail("minimum digits exceed the width");
        }
        return n;
      case 'F':
        n.kind = Node::Kind::F;
        n.w = number();
        if (!eat('.')) fail("F needs w.d");
        n.d = number();
        return n;
      case 'E':
        n.kind = Node::Kind::E;
        n.w = number();
        if (!eat('.')) fail("E needs w.d");
        n.d = number();
        if (n.d < 1) fail("E needs at least one digit after the point");
        if (n.w < 1) fail("E needs a width");
        if (eat('E')) n.e = number();
        return n;
      case 'L':
        n.kind = Node::Kind::L;
        n.w = number();
        if (n.w < 1) fail("L needs a width");
        return n;
      case 'A':
        n.kind = Node::Kind::A;
        n.w = digit_next() ? number() : -1;
        if (n.w == 0) fail("A needs a width of at least 1");
        return n;
      default:
        --p_;
        fail(std::string("unknown edit descriptor '") + (c ? c : ' ') + "'");
    }
  }

  std::string_view s_;
  std::size_t p_ = 0;
};

}  // namespace

Format parse_format_uncached(std::string_view text) { return Parser(text).parse(); }

const Format& parse_format(std::string_view text) {
  // Parsed layouts, keyed by their text. A pure cache, one of the program's
  // two pieces of process-wide state (the other is the signal-cleanup
  // registry of interrupt.cpp): it never changes what a layout means, only
  // saves parsing it again.
  // Shared by the worker threads of a parallel run, hence the lock; entries
  // are never removed, so a returned reference stays valid.
  static std::mutex lock;
  static std::map<std::string, std::unique_ptr<Format>, std::less<>> cache;
  const std::lock_guard<std::mutex> hold(lock);
  auto it = cache.find(text);
  if (it == cache.end()) {
    auto parsed = std::make_unique<Format>(parse_format_uncached(text));
    it = cache.emplace(std::string(text), std::move(parsed)).first;
  }
  return *it->second;
}

}  // namespace zk::rt
