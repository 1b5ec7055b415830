#pragma once
// The parsed form of a layout, shared by the writers and the readers of the
// record layer. Not for use outside src/runtime.
#include <cstddef>
#include <string>
#include <vector>

namespace zk::rt {

struct Node {
  enum class Kind {
    Text,   // 'text' or nH text
    X,      // nX: move n columns right
    T,      // Tn: go to column n
    TL,     // TLn: move n columns left
    TR,     // TRn: move n columns right
    Slash,  // end of record (repeat = number of slashes)
    Colon,  // stop here when no item is left
    I,
    F,
    E,
    L,
    Z,
    A,
    Group,
  };
  Kind kind = Kind::Text;
  int repeat = 1;  // data descriptors, groups and slashes
  int n = 0;       // X, T, TL, TR
  int w = 0;       // field width; -1 for a bare A
  int d = 0;       // digits after the point (F, E)
  int m = -1;      // minimum digits (Iw.m, Zw.m); -1 when absent
  int e = -1;      // exponent digits (Ew.dEe); -1 when absent
  std::string text;
  std::vector<Node> children;

  bool is_data() const {
    return kind == Kind::I || kind == Kind::F || kind == Kind::E || kind == Kind::L || kind == Kind::Z ||
           kind == Kind::A;
  }
};

class Format {
 public:
  std::string source;
  std::vector<Node> items;
  // Where the layout starts again when the items outlast it: the last
  // top-level group, or the start when there is none.
  std::size_t reversion = 0;
  bool has_data = false;            // any data descriptor at all
  bool reversion_has_data = false;  // any data descriptor from `reversion` on
};

// Parses without caching (parse_format caches); throws FormatError.
Format parse_format_uncached(std::string_view text);

}  // namespace zk::rt
