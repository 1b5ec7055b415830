// Formatted and list-directed output: the record cursor, format reversion and
// the stop at the first data descriptor that has no item left.
#include <string>
#include <vector>

#include "runtime/edit.hpp"
#include "runtime/errors.hpp"
#include "runtime/format.hpp"
#include "runtime/format_tree.hpp"

namespace zk::rt {
namespace {

const char* kind_name(Arg::Kind k) {
  switch (k) {
    case Arg::Kind::Int: return "an integer";
    case Arg::Kind::Real: return "a real";
    case Arg::Kind::Logical: return "a logical";
    case Arg::Kind::Text: return "a text";
  }
  return "?";
}

class RecordWriter : public FormatCursor<RecordWriter> {
 public:
  RecordWriter(const Format& f, std::span<const Arg> items) : FormatCursor(f), items_(items) {}

  std::vector<std::string> run() {
    traverse();
    next_record();
    return std::move(records_);
  }

  // The cursor's calls.
  bool items_left() const { return next_ < items_.size(); }
  std::size_t items_used() const { return next_; }
  void text(const Node& n) { put(n.text); }
  void next_record() {
    records_.push_back(std::move(rec_));
    rec_.clear();
    pos_ = 0;
  }
  void data(const Node& n) {
    const Arg& a = take(n);
    switch (n.kind) {
      case Node::Kind::I: put(edit_i(a.i, n.w, n.m)); break;
      case Node::Kind::Z: put(edit_z(a.i, n.w, n.m)); break;
      case Node::Kind::F: put(edit_f(a.r, n.w, n.d)); break;
      case Node::Kind::E: put(edit_e(a.r, n.w, n.d, n.e)); break;
      case Node::Kind::L: put(edit_l(a.l, n.w)); break;
      case Node::Kind::A: put(edit_a(a.s, n.w)); break;
      default: break;
    }
  }

 private:
  // Writes `s` at the cursor: over what is there, after blanks up to it.
  void put(const std::string& s) {
    if (rec_.size() < pos_) rec_.resize(pos_, ' ');
    const std::size_t over = std::min(s.size(), rec_.size() - pos_);
    rec_.replace(pos_, over, s);
    pos_ += s.size();
  }

  const Arg& take(const Node& n) {
    const Arg& a = items_[next_++];
    Arg::Kind want = Arg::Kind::Int;
    switch (n.kind) {
      case Node::Kind::F:
      case Node::Kind::E: want = Arg::Kind::Real; break;
      case Node::Kind::L: want = Arg::Kind::Logical; break;
      case Node::Kind::A: want = Arg::Kind::Text; break;
      default: break;
    }
    if (a.kind != want) {
      throw FormatError("layout \"" + f_.source + "\": item " + std::to_string(next_) + " is " +
                        kind_name(a.kind) + " where " + kind_name(want) + " is expected");
    }
    return a;
  }

  std::span<const Arg> items_;
  std::size_t next_ = 0;
  std::vector<std::string> records_;
  std::string rec_;
};

}  // namespace

std::vector<std::string> write_records(const Format& fmt, std::span<const Arg> items) {
  return RecordWriter(fmt, items).run();
}

std::string list_directed_record(std::span<const Arg> items) {
  std::string rec;
  bool prev_text = false;
  for (std::size_t k = 0; k < items.size(); ++k) {
    const Arg& a = items[k];
    const bool text = a.kind == Arg::Kind::Text;
    // One blank opens the record; consecutive texts follow each other directly,
    // any other neighbours are parted by one blank.
    if (k == 0 || !(text && prev_text)) rec += ' ';
    switch (a.kind) {
      case Arg::Kind::Int: rec += list_integer(a.i); break;
      case Arg::Kind::Real: rec += list_real(a.r); break;
      case Arg::Kind::Logical: rec += a.l ? 'T' : 'F'; break;
      case Arg::Kind::Text: rec += a.s; break;
    }
    prev_text = text;
  }
  return rec;
}

}  // namespace zk::rt
