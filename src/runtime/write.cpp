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

class RecordWriter {
 public:
  RecordWriter(const Format& f, std::span<const Arg> items) : f_(f), items_(items) {}

  std::vector<std::string> run() {
    std::size_t start = 0;
    for (;;) {
      if (!walk(f_.items, start)) break;  // stopped for want of items
      if (next_ >= items_.size()) break;  // the layout ended with the items
      if (!f_.reversion_has_data) {
        throw FormatError("layout \"" + f_.source + "\" has no data descriptor left for item " +
                          std::to_string(next_ + 1));
      }
      end_record();
      start = f_.reversion;
    }
    end_record();
    return std::move(records_);
  }

 private:
  // Writes `s` at the cursor: over what is there, after blanks up to it.
  void put(const std::string& s) {
    if (rec_.size() < pos_) rec_.resize(pos_, ' ');
    const std::size_t over = std::min(s.size(), rec_.size() - pos_);
    rec_.replace(pos_, over, s);
    pos_ += s.size();
  }
  void end_record() {
    records_.push_back(std::move(rec_));
    rec_.clear();
    pos_ = 0;
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

  // Returns false when output stops: a data descriptor (or ':') with no item left.
  bool walk(const std::vector<Node>& nodes, std::size_t from) {
    for (std::size_t k = from; k < nodes.size(); ++k) {
      const Node& n = nodes[k];
      switch (n.kind) {
        case Node::Kind::Text: put(n.text); break;
        case Node::Kind::X:
        case Node::Kind::TR: pos_ += static_cast<std::size_t>(n.n); break;
        case Node::Kind::T: pos_ = static_cast<std::size_t>(n.n - 1); break;
        case Node::Kind::TL:
          pos_ = pos_ > static_cast<std::size_t>(n.n) ? pos_ - static_cast<std::size_t>(n.n) : 0;
          break;
        case Node::Kind::Slash:
          for (int r = 0; r < n.repeat; ++r) end_record();
          break;
        case Node::Kind::Colon:
          if (next_ >= items_.size()) return false;
          break;
        case Node::Kind::Group:
          for (int r = 0; r < n.repeat; ++r) {
            if (!walk(n.children, 0)) return false;
          }
          break;
        default:
          for (int r = 0; r < n.repeat; ++r) {
            if (next_ >= items_.size()) return false;
            data(n);
          }
          break;
      }
    }
    return true;
  }

  const Format& f_;
  std::span<const Arg> items_;
  std::size_t next_ = 0;
  std::vector<std::string> records_;
  std::string rec_;
  std::size_t pos_ = 0;
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
