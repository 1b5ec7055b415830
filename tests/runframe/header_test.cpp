// The run header, the trailer and its closing pictures.
#include <algorithm>

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

// The picture a run ends with, by the units digit of its end time: its
// lines at its margin between two blank lines. 4 and 9 share one; any other
// character ends with the picture of 3.
TEST(Trailer, PictureByTheLastDigitOfTheTime) {
  const std::pair<char, std::string_view> cases[] = {
      {'0', "happyface"}, {'1', "sator"},        {'2', "carmag33"}, {'3', "endfun1"}, {'4', "tetrakis"},
      {'5', "tetratemple1"}, {'6', "tetratemple2"}, {'7', "graben"}, {'8', "horst"},  {'9', "tetrakis"},
      {' ', "endfun1"},   {'x', "endfun1"},
  };
  for (const auto& [digit, name] : cases) {
    const auto& all = pictures();
    const auto picture = std::find_if(all.begin(), all.end(), [&](const Picture& p) { return p.name == name; });
    ASSERT_NE(picture, all.end()) << name;
    Lines expected{"  "};
    for (std::string_view line : picture->lines) expected.push_back(std::string(picture->margin, ' ') + std::string(line));
    expected.push_back("  ");
    Console con;
    closing_picture(con.ws, digit);
    EXPECT_EQ(con.lines(), expected) << digit;
  }
}

}  // namespace
}  // namespace zk
