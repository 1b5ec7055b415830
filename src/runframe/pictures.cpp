#include "runframe/pictures.hpp"

#include <array>

namespace zk {

namespace {

// The happy face with a downturned mouth (lines 12 and 14): 18 lines of 36 characters.
constexpr std::string_view k_sorryface[] = {
    "            &&&&&&&&&&&&            ",
    "        &&                &&        ",
    "     &&                      &&     ",
    "   &&                          &&   ",
    "  &&                            &&  ",
    " &&                              && ",
    " &        &&&          &&&        & ",
    "&&        &&&          &&&        &&",
    "&&                                &&",
    "&&                                &&",
    "&&                                &&",
    " &          &&&&&&&&&&&&          & ",
    " &&      &&&            &&&      && ",
    "  &&   &&                  &&   &&  ",
    "   &&                          &&   ",
    "     &&                      &&     ",
    "        &&                &&        ",
    "            &&&&&&&&&&&&            ",
};
// 5 lines of 9 characters.
constexpr std::string_view k_sator[] = {
    "S A T O R",
    "A R E P O",
    "T E N E T",
    "O P E R A",
    "R O T A S",
};
// 7 lines of 13 characters.
constexpr std::string_view k_carmag33[] = {
    "-------------",
    "| 8 | 1 | 6 |",
    "|---|---|---|",
    "| 3 | 5 | 7 |",
    "|---|---|---|",
    "| 4 | 9 | 2 |",
    "-------------",
};
// 4 lines of 13 characters.
constexpr std::string_view k_tetrakis[] = {
    "      O      ",
    "    O   O    ",
    "  O   O   O  ",
    "O   O   O   O",
};
// 12 lines of 21 characters.
constexpr std::string_view k_tetratemple1[] = {
    "          O          ",
    "       O     O       ",
    "    O     O     O    ",
    " O     O     O     O ",
    " =================== ",
    "   | |   | |   | |   ",
    "   | |   | |   | |   ",
    "   | |   | |   | |   ",
    "   | |   | |   | |   ",
    "   | |   | |   | |   ",
    " =================== ",
    "=====================",
};
// 16 lines of 26 characters.
constexpr std::string_view k_tetratemple2[] = {
    "               O          ",
    "            O /   O       ",
    "         O   /       O    ",
    "      O     /           O ",
    "     /     O           / /",
    "    /   O     O       / / ",
    "   / O     O     O   / /  ",
    "  O     O     O     O /   ",
    "  ===================/    ",
    "    | |   | |   | | ||    ",
    "    | |   | |   | | ||===/",
    "    | |   | |   | |     / ",
    "   /| |   | |   | |    /  ",
    "  / | |   | |   | |   /   ",
    " /===================/    ",
    "=====================     ",
};
// 8 lines of 40 characters.
constexpr std::string_view k_graben[] = {
    "-+                                    +-",
    "@@\\-----+                      +-----/@@",
    "@@@\\@@@@@\\---+            +---/@@@@@/@@@",
    "====\\@@@@@\\@@@\\----------/@@@/@@@@@/====",
    "#####\\=====\\@@@\\@@@@@@@@/@@@/=====/#####",
    "######\\#####\\===\\@@@@@@/===/#####/######",
    "#######\\#####\\###\\====/###/#####/#######",
    "########\\#####\\###\\##/###/#####/########",
};
// 8 lines of 40 characters.
constexpr std::string_view k_horst[] = {
    "           +----------------+           ",
    "        +---\\@@@@@@@@@@@@@@/---+        ",
    "   +-----\\@@@\\@@@@@@@@@@@@/@@@/-----+   ",
    "----\\@@@@@\\@@@\\==========/@@@/@@@@@/----",
    "@@@@@\\@@@@@\\===\\########/===/@@@@@/@@@@@",
    "@@@@@@\\=====\\###\\######/###/=====/@@@@@@",
    "=======\\#####\\###\\####/###/#####/=======",
    "########\\#####\\###\\##/###/#####/########",
};
// 8 lines of 44 characters.
constexpr std::string_view k_endfun1[] = {
    "                \\|/ ____ \\|/    -     -     ",
    "       \\|/       @~/ ,. \\~@   o' \\,=./ `o   ",
    "      (o -)     /_( \\__/ )_\\     (o o)      ",
    "|-oo0--(_)--0oo----\\--U-/----oo0--(_)--0oo-|",
    "|                                          |",
    "|            THAT'S ALL FOLKS !            |",
    "|                                          |",
    "|------------------------------------------|",
};
// 18 lines of 36 characters.
constexpr std::string_view k_happyface[] = {
    "            &&&&&&&&&&&&            ",
    "        &&                &&        ",
    "     &&                      &&     ",
    "   &&                          &&   ",
    "  &&                            &&  ",
    " &&                              && ",
    " &        &&&          &&&        & ",
    "&&        &&&          &&&        &&",
    "&&                                &&",
    "&&                                &&",
    "&&                                &&",
    " &     &&                  &&     & ",
    " &&      &&&            &&&      && ",
    "  &&        &&&&&&&&&&&&        &&  ",
    "   &&                          &&   ",
    "     &&                      &&     ",
    "        &&                &&        ",
    "            &&&&&&&&&&&&            ",
};

// The margins are the blanks of each drawing's layout: "(8x,a)" for the faces,
// "(21x,a)" sator, "(19x,a)" carmag33 and tetrakis, "(15x,a)" tetratemple1,
// "(13x,a)" tetratemple2, "(6x,a)" graben and horst, "(4x,a)" endfun1.
constexpr std::array<Picture, 10> kPictures = {{
    {"happyface", k_happyface, 8},
    {"sorryface", k_sorryface, 8},
    {"sator", k_sator, 21},
    {"carmag33", k_carmag33, 19},
    {"endfun1", k_endfun1, 4},
    {"tetrakis", k_tetrakis, 19},
    {"tetratemple1", k_tetratemple1, 15},
    {"tetratemple2", k_tetratemple2, 13},
    {"graben", k_graben, 6},
    {"horst", k_horst, 6},
}};

void draw(Workspace& ws, std::string_view format, std::span<const std::string_view> lines) {
  const int out = ws.iocom.iostdout;
  ws.units.write(out, "(1x,a)", " ");
  for (std::string_view line : lines) ws.units.write(out, format, line);
  ws.units.write(out, "(1x,a)", " ");
}

}  // namespace

std::span<const Picture> pictures() { return kPictures; }

void happyface(Workspace& ws) { draw(ws, "(8x,a)", k_happyface); }
void sorryface(Workspace& ws) { draw(ws, "(8x,a)", k_sorryface); }
void sator(Workspace& ws) { draw(ws, "(21x,a)", k_sator); }
void carmag33(Workspace& ws) { draw(ws, "(19x,a)", k_carmag33); }
void endfun1(Workspace& ws) { draw(ws, "(4x,a)", k_endfun1); }
void tetrakis(Workspace& ws) { draw(ws, "(19x,a)", k_tetrakis); }
void tetratemple1(Workspace& ws) { draw(ws, "(15x,a)", k_tetratemple1); }
void tetratemple2(Workspace& ws) { draw(ws, "(13x,a)", k_tetratemple2); }
void graben(Workspace& ws) { draw(ws, "(6x,a)", k_graben); }
void horst(Workspace& ws) { draw(ws, "(6x,a)", k_horst); }

void closing_picture(Workspace& ws, char last) {
  switch (last) {
    case '0': happyface(ws); break;
    case '1': sator(ws); break;
    case '2': carmag33(ws); break;
    case '3': endfun1(ws); break;
    case '4':
    case '9': tetrakis(ws); break;
    case '5': tetratemple1(ws); break;
    case '6': tetratemple2(ws); break;
    case '7': graben(ws); break;
    case '8': horst(ws); break;
    default: endfun1(ws); break;
  }
}

}  // namespace zk
