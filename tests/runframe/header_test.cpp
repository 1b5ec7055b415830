// The run header, the trailer and its closing pictures.
#include "console.hpp"
#include "runframe/header.hpp"
#include "runframe/pictures.hpp"
#include "runtime/errors.hpp"

namespace zk {
namespace {

using test::Console;
using test::kAt50;
using test::Lines;

const std::string kRule = " @" + std::string(49, '-');

void fill_runinfo(Workspace& ws, int code) {
  runinfo3com_t& ri = ws.runinfo3com;
  ri.ricode = code;
  ri.riname[0] = "Zarkel     ";
  ri.riversion[0] = " 4.5";
  ri.ridate[0] = "2024-02-16";
  ri.riuser = "geologist";
  ri.rihost = "fieldstation";
  ri.risystem = "Linux6.1.0-28";
  ri.ricpu = "i86-2.4GHz";
  ri.ristartdate = "2024-02-16";
  ri.ristarttime = "09:15:02";
}

TEST(Header, ShowsTheRunUserAndHostByCodeAndWaitsForReturn) {
  for (int code : {0, 1, 2, 3}) {
    Console con("\nrest\n");
    fill_runinfo(con.ws, code);
    zarkelhead2(con.ws);
    const Lines l = con.lines();
    const std::size_t user = code <= 1 ? 2 : 0;  // user and host lines for codes 0 and 1 only
    ASSERT_EQ(l.size(), 14 + user + 14 + 6) << code;  // then fourteen lines of credits and the wait
    EXPECT_EQ(l[2], " @          MAIN PROGRAM: Zarkel");
    EXPECT_EQ(l[3], " @               Version: 4.5");
    EXPECT_EQ(l[8], " @       Starting on 2024-02-16 at 09:15:02");
    EXPECT_EQ(l[9], code <= 1 ? " @      User: geologist" : " @    System: Linux6.1.0-28") << code;
    EXPECT_EQ(l[10 + user], " @       CPU: i86-2.4GHz") << code;
    EXPECT_EQ(l[l.size() - 2], " @             HIT RETURN TO CONTINUE");
    EXPECT_EQ(con.rest(), "rest\n");
  }
  Console eof("");
  fill_runinfo(eof.ws, 0);
  EXPECT_THROW(zarkelhead2(eof.ws), rt::EndOfInput);
}

TEST(Trailer, ElapsedTime) {
  const std::string mod = " @       modulo     35791.395 mn";
  struct Case {
    int32_t start, count, rate, max;
    Lines out;
  } const cases[] = {
      {1000, 121000, 1000, 2147483647, {" @ ELAPSED TIME =     120.000 seconds", mod}},  // two minutes, in seconds
      {1000, 122000, 1000, 2147483647, {" @ ELAPSED TIME =       2.017 mn", mod}},       // beyond, in minutes
      {2147483000, 1000, 1000, 2147483647, {" @ ELAPSED TIME =       1.647 seconds", mod}},  // wrapped clock
      {5000, 5000, 1000, 2147483647, {" @ ELAPSED TIME =   35791.395 mn", mod}},  // equal counts: a full period
      {5, 9, 0, 0, {" @ Could not compute elapsed system clock time"}},
      {0, 50, 10, 9999, {" @ ELAPSED TIME =       5.000 seconds", " @       modulo        16.665 mn"}},
  };
  for (const Case& c : cases) {
    Console con;
    con.ws.runinfo3com.riclock0 = c.start;
    write_elapsed_time(con.ws, c.count, c.rate, c.max);
    EXPECT_EQ(con.lines(), c.out) << c.count;
  }
}

TEST(Trailer, DatesTimesAndAClosingPictureByTheLastDigit) {
  struct Case {
    const char* time;
    float cpu0, cpu;
    int32_t rate;
    Lines times;  // elapsed and processor time
    void (*picture)(Workspace&);
  } const cases[] = {
      {"104237", 0.5f, 2.75f, 1000,
       {" @ ELAPSED TIME =       5.000 seconds", " @       modulo     35791.395 mn",
        " @ CPU TIME     =       2.250 seconds"},
       graben},
      {"104239", 0.0f, 150.0f, 0,
       {" @ Could not compute elapsed system clock time", " @ CPU TIME     =       2.500 mn"}, tetrakis},
  };
  for (const Case& c : cases) {
    Console con;
    fill_runinfo(con.ws, 0);
    con.ws.runinfo3com.riclock0 = 1000;
    con.ws.runinfo3com.ricpu0 = c.cpu0;
    con.platform.date = "20240217";
    con.platform.time = c.time;
    con.platform.count = 6000;
    con.platform.cpu = c.cpu;
    con.platform.rate = c.rate;
    progtail2(con.ws);
    Console picture;
    c.picture(picture.ws);
    const Lines want = test::cat({{kAt50, " @ PROGRAM Zarkel", " @ Version: 4.5",
                                   " @ STARTED    ON: 2024-02-16 at 09:15:02",
                                   std::string(" @ TERMINATED ON: 2024-02-17 at 10:42:") + (c.time + 4)},
                                  c.times, {kRule}, picture.lines(), {kAt50}});
    EXPECT_EQ(con.lines(), want) << c.time;
  }
}

TEST(Trailer, PictureByTheLastDigitOfTheTime) {
  const std::pair<char, void (*)(Workspace&)> cases[] = {
      {'0', happyface},    {'1', sator},        {'2', carmag33}, {'3', endfun1}, {'4', tetrakis}, {'5', tetratemple1},
      {'6', tetratemple2}, {'7', graben},       {'8', horst},    {'9', tetrakis}, {' ', endfun1},  {'x', endfun1},
  };
  for (const auto& [digit, draw] : cases) {
    Console chosen, direct;
    closing_picture(chosen.ws, digit);
    draw(direct.ws);
    EXPECT_EQ(chosen.out.str(), direct.out.str()) << digit;
  }
}

TEST(Pictures, LinesLengthsAndMargins) {
  struct Shape {
    std::string name;
    void (*draw)(Workspace&);
    std::size_t lines, length;
    int margin;
  } const shapes[] = {
      {"happyface", happyface, 18, 36, 8},        {"sorryface", sorryface, 18, 36, 8},
      {"graben", graben, 8, 40, 6},               {"horst", horst, 8, 40, 6},
      {"sator", sator, 5, 9, 21},                 {"carmag33", carmag33, 7, 13, 19},
      {"tetrakis", tetrakis, 4, 13, 19},          {"tetratemple1", tetratemple1, 12, 21, 15},
      {"tetratemple2", tetratemple2, 16, 26, 13}, {"endfun1", endfun1, 8, 44, 4},
  };
  ASSERT_EQ(pictures().size(), std::size(shapes));
  for (const Shape& s : shapes) {
    const Picture* table = nullptr;
    for (const Picture& p : pictures())
      if (p.name == s.name) table = &p;
    ASSERT_NE(table, nullptr) << s.name;
    EXPECT_EQ(table->margin, s.margin) << s.name;
    ASSERT_EQ(table->lines.size(), s.lines) << s.name;
    Console con;
    s.draw(con.ws);
    Lines want = {"  "};  // "(1x,a)" with a single blank, before and after
    for (std::string_view line : table->lines) {
      EXPECT_EQ(line.size(), s.length) << s.name;
      EXPECT_NE(line.find_first_not_of(' '), std::string_view::npos) << s.name;
      want.push_back(std::string(static_cast<std::size_t>(s.margin), ' ') + std::string(line));
    }
    want.push_back("  ");
    EXPECT_EQ(con.lines(), want) << s.name;
  }
  // A few lines of art as drawn (record 0 is the first blank line).
  const std::tuple<void (*)(Workspace&), std::size_t, std::string> samples[] = {
      {carmag33, 2, "                   | 8 | 1 | 6 |"},
      {graben, 8, "      ########\\#####\\###\\##/###/#####/########"},
      {sorryface, 12, "         &          &&&&&&&&&&&&          & "},
  };
  for (const auto& [draw, record, text] : samples) {
    Console con;
    draw(con.ws);
    EXPECT_EQ(con.lines().at(record), text);
  }
}

}  // namespace
}  // namespace zk
