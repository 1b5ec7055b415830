#pragma once
// The character pictures of the console: the nine closing pictures of the
// trailer and the sad face of a stopped run. Each is an empty-looking line,
// the picture's lines after its margin (trailing blanks kept), and another
// empty-looking line, on iostdout.
#include <span>
#include <string_view>

#include "areas/workspace.hpp"

namespace zk {

void happyface(Workspace& ws);
void sorryface(Workspace& ws);
void sator(Workspace& ws);
void carmag33(Workspace& ws);
void endfun1(Workspace& ws);
void tetrakis(Workspace& ws);
void tetratemple1(Workspace& ws);
void tetratemple2(Workspace& ws);
void graben(Workspace& ws);
void horst(Workspace& ws);

// The closing picture chosen by the last character of the end time (the
// units digit of the seconds); a character that is not a digit: endfun1.
void closing_picture(Workspace& ws, char last);

// A picture's lines and left margin, as drawn (for the tests of the tables).
struct Picture {
  std::string_view name;
  std::span<const std::string_view> lines;
  int margin;
};
std::span<const Picture> pictures();

}  // namespace zk
