#pragma once
// Items of a formatted or list-directed write, and targets of a read.
// A call reads like the layout it prints:
//   units.write(unit::kListing, "(1X,'    SIGMA(',I1,')=',F9.5)", L, VP(L));
#include <string>
#include <string_view>
#include <vector>

namespace zk::rt {

struct Arg {
  enum class Kind { Int, Real, Logical, Text };
  Kind kind = Kind::Int;
  int i = 0;
  float r = 0.0f;
  bool l = false;
  std::string_view s;
};

// A character array written one character per item (the nA1 layouts).
struct Chars {
  const char* p;
  int n;
};

// n consecutive values of one array (4F8.4 with P(1..4), 27I4 with a list...).
template <class T>
struct Many {
  const T* p;
  int n;
};

class ArgList {
 public:
  ArgList() { items_.reserve(8); }
  void add(int v) { items_.push_back(Arg{Arg::Kind::Int, v, 0.0f, false, {}}); }
  void add(float v) { items_.push_back(Arg{Arg::Kind::Real, 0, v, false, {}}); }
  void add(bool v) { items_.push_back(Arg{Arg::Kind::Logical, 0, 0.0f, v, {}}); }
  void add(std::string_view v) { items_.push_back(Arg{Arg::Kind::Text, 0, 0.0f, false, v}); }
  void add(const char* v) { add(std::string_view(v)); }
  void add(const std::string& v) { add(std::string_view(v)); }
  void add(Chars c) {
    for (int k = 0; k < c.n; ++k) add(std::string_view(c.p + k, 1));
  }
  void add(Many<float> m) {
    for (int k = 0; k < m.n; ++k) add(m.p[k]);
  }
  void add(Many<int> m) {
    for (int k = 0; k < m.n; ++k) add(m.p[k]);
  }
  void add(double) = delete;  // every real of the listing is single precision
  const std::vector<Arg>& items() const { return items_; }

 private:
  std::vector<Arg> items_;
};

template <class... Ts>
ArgList make_args(const Ts&... vs) {
  ArgList a;
  (a.add(vs), ...);
  return a;
}

// Where a read puts a value.
struct Target {
  enum class Kind { Int, Real, Text };
  Kind kind;
  int* i = nullptr;
  float* r = nullptr;
  char* s = nullptr;  // blank-padded text of length len
  int len = 0;
  int count = 1;  // consecutive elements: i[0..count), r[0..count), or count texts of len at s
};
inline Target target(int& v) { return Target{Target::Kind::Int, &v, nullptr, nullptr, 0, 1}; }
inline Target target(float& v) { return Target{Target::Kind::Real, nullptr, &v, nullptr, 0, 1}; }
inline Target target(char* p, int n) { return Target{Target::Kind::Text, nullptr, nullptr, p, n, 1}; }
// n consecutive elements of an array: n one-character texts (the nA1
// layouts), n integers, n reals.
inline Target target_each(char* p, int n) { return Target{Target::Kind::Text, nullptr, nullptr, p, 1, n}; }
inline Target target_each(int* p, int n) { return Target{Target::Kind::Int, p, nullptr, nullptr, 0, n}; }
inline Target target_each(float* p, int n) { return Target{Target::Kind::Real, nullptr, p, nullptr, 0, n}; }

}  // namespace zk::rt
