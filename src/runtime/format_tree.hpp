#pragma once
// The parsed form of a layout, shared by the writers and the readers of the
// record layer. Not for use outside src/runtime.
#include <cstddef>
#include <string>
#include <vector>

#include "runtime/errors.hpp"

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

// The traversal of a layout, shared by the formatted writer and reader: the
// column cursor (X, T, TL, TR), record ends ('/'), groups and repeats, the
// stop at a data descriptor (or ':') with no item left, and format reversion
// when the items outlast the layout. The derived class D provides
//   bool items_left();            void text(const Node&);
//   void data(const Node&);       void next_record();
//   std::size_t items_used();
template <class D>
class FormatCursor {
 protected:
  explicit FormatCursor(const Format& f) : f_(f) {}

  // Walks the layout until the items are used up or output stops.
  void traverse() {
    std::size_t start = 0;
    for (;;) {
      if (!walk(f_.items, start)) return;  // stopped for want of items
      if (!self().items_left()) return;    // the layout ended with the items
      if (!f_.reversion_has_data) {
        throw FormatError("layout \"" + f_.source + "\" has no data descriptor left for item " +
                          std::to_string(self().items_used() + 1));
      }
      self().next_record();
      start = f_.reversion;
    }
  }

  const Format& f_;
  std::size_t pos_ = 0;  // column of the cursor, from 0

 private:
  D& self() { return static_cast<D&>(*this); }

  // Returns false when the walk stops: a data descriptor (or ':') with no
  // item left.
  bool walk(const std::vector<Node>& nodes, std::size_t from) {
    for (std::size_t k = from; k < nodes.size(); ++k) {
      const Node& n = nodes[k];
      switch (n.kind) {
        case Node::Kind::Text: self().text(n); break;
        case Node::Kind::X:
        case Node::Kind::TR: pos_ += static_cast<std::size_t>(n.n); break;
        case Node::Kind::T: pos_ = static_cast<std::size_t>(n.n - 1); break;
        case Node::Kind::TL:
          pos_ = pos_ > static_cast<std::size_t>(n.n) ? pos_ - static_cast<std::size_t>(n.n) : 0;
          break;
        case Node::Kind::Slash:
          for (int r = 0; r < n.repeat; ++r) self().next_record();
          break;
        case Node::Kind::Colon:
          if (!self().items_left()) return false;
          break;
        case Node::Kind::Group:
          for (int r = 0; r < n.repeat; ++r) {
            if (!walk(n.children, 0)) return false;
          }
          break;
        default:
          for (int r = 0; r < n.repeat; ++r) {
            if (!self().items_left()) return false;
            self().data(n);
          }
          break;
      }
    }
    return true;
  }
};

}  // namespace zk::rt
