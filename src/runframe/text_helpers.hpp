#pragma once
// Text helpers of the console frame: fixed-length fields passed by reference,
// trimming, base names, integer widths, and writes into a text (the internal
// writes of the layouts).
#include <string>
#include <string_view>
#include <vector>

#include "areas/text.hpp"
#include "runtime/args.hpp"
#include "runtime/format.hpp"

namespace zk {

// A blank-padded text of fixed length owned by the caller (a Text<N>, or a
// std::string whose current size is its length): the out arguments of the
// frame routines. Assigning pads with blanks or keeps the first characters.
class FieldRef {
 public:
  template <int N>
  FieldRef(Text<N>& t) : p_(t.data()), n_(N) {}  // NOLINT: implicit on purpose
  FieldRef(std::string& s) : p_(s.data()), n_(static_cast<int>(s.size())) {}  // NOLINT
  void assign(std::string_view s) const;
  std::string_view view() const { return std::string_view(p_, static_cast<std::size_t>(n_)); }
  int size() const { return n_; }

 private:
  char* p_;
  int n_;
};

// Positions (1-based) of the part of `text` between its first and last
// non-blank: an all-blank text of length n gives n, n; an empty one 1, 0.
void textlen(int& first, int& last, std::string_view text);

// The trimmed part of `text` as textlen finds it (one blank for an all-blank
// text, nothing for an empty one).
std::string_view trimmed(std::string_view text);

// base = last component of `path` after trimming (a "/" in the last position
// is kept as part of the name), n = its length.
void path2basename(int& n, FieldRef base, std::string_view path);

// Number of characters of iv written in decimal, a minus sign included.
void integlen(int& n, int iv);

// The first record a formatted write of `items` with `fmt` produces.
template <class... Ts>
std::string internal_write(std::string_view fmt, const Ts&... items) {
  const rt::ArgList args = rt::make_args(items...);
  const std::vector<std::string> recs = rt::write_records(rt::parse_format(fmt), args.items());
  return recs.empty() ? std::string() : recs.front();
}

// One integer read in free format from `text`, as a list-directed read of
// one item: Value with `iv` set, Null for a null value ("," "/" "2*") that
// leaves `iv` as it was, Bad for anything that is not an integer.
enum class ListInt { Value, Null, Bad };
ListInt read_list_integer(std::string_view text, int& iv);

}  // namespace zk
