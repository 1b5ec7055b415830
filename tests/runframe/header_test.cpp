#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console.hpp"
#include "runframe/header.hpp"
#include "runframe/pictures.hpp"
#include "runtime/errors.hpp"

namespace zk {
namespace {

using test::Console;
using Lines = std::vector<std::string>;

const std::string kAt50 = " " + std::string(50, '@');
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

TEST(Header, ShowsTheRunAndWaitsForReturn) {
  for (int code : {0, 1, 2, 3}) {
    Console con("\nrest\n");
    fill_runinfo(con.ws, code);
    zarkelhead2(con.ws);
    Lines want = {kAt50,
                  " @",
                  " @          MAIN PROGRAM: Zarkel",
                  " @               Version: 4.5",
                  " @                  Date: 2024-02-16",
                  " @",
                  kRule,
                  " @",
                  " @       Starting on 2024-02-16 at 09:15:02"};
    if (code <= 1) {
      want.push_back(" @      User: geologist");
      want.push_back(" @      Host: fieldstation");
    }
    for (const char* s : {" @    System: Linux6.1.0-28", " @       CPU: i86-2.4GHz", " @"}) want.push_back(s);
    want.push_back(kRule);
    want.push_back(" @");
    const Lines l = con.lines();
    ASSERT_EQ(l.size(), want.size() + 14 + 6) << code;
    EXPECT_EQ(Lines(l.begin(), l.begin() + static_cast<long>(want.size())), want) << code;
    // The credits: fourteen lines, each beginning with "@", in four sections.
    int separators = 0;
    for (std::size_t k = want.size(); k < want.size() + 14; ++k) {
      EXPECT_EQ(l[k].substr(0, 2), " @") << l[k];
      if (l[k] == " @") ++separators;
    }
    EXPECT_EQ(separators, 3);
    EXPECT_NE(l[want.size()], " @");
    EXPECT_NE(l[want.size() + 13], " @");
    const Lines tail = {" @", " @      Report of any problem is appreciated", " @", kRule,
                        " @             HIT RETURN TO CONTINUE", kAt50};
    EXPECT_EQ(Lines(l.end() - 6, l.end()), tail);
    EXPECT_EQ(con.rest(), "rest\n");
  }
}

TEST(Header, EndOfInputAtTheWait) {
  Console con("");
  fill_runinfo(con.ws, 0);
  EXPECT_THROW(zarkelhead2(con.ws), rt::EndOfInput);
}

TEST(Trailer, ElapsedTime) {
  struct Case {
    std::string name;
    int32_t start, count, rate, max;
    Lines out;
  };
  const std::string mod = " @       modulo     35791.395 mn";
  const Case cases[] = {
      {"two minutes in seconds", 1000, 121000, 1000, 2147483647, {" @ ELAPSED TIME =     120.000 seconds", mod}},
      {"beyond, in minutes", 1000, 122000, 1000, 2147483647, {" @ ELAPSED TIME =       2.017 mn", mod}},
      {"wrapped clock", 2147483000, 1000, 1000, 2147483647, {" @ ELAPSED TIME =       1.647 seconds", mod}},
      {"equal counts: one full period", 5000, 5000, 1000, 2147483647, {" @ ELAPSED TIME =   35791.395 mn", mod}},
      {"no clock", 5, 9, 0, 0, {" @ Could not compute elapsed system clock time"}},
      {"small clock", 0, 50, 10, 9999, {" @ ELAPSED TIME =       5.000 seconds", " @       modulo        16.665 mn"}},
  };
  for (const Case& c : cases) {
    Console con;
    con.ws.runinfo3com.riclock0 = c.start;
    write_elapsed_time(con.ws, c.count, c.rate, c.max);
    EXPECT_EQ(con.lines(), c.out) << c.name;
  }
}

TEST(Trailer, DatesTimesAndTheClosingPicture) {
  Console con;
  fill_runinfo(con.ws, 0);
  con.ws.runinfo3com.riclock0 = 1000;
  con.ws.runinfo3com.ricpu0 = 0.5f;
  con.platform.date = "20240217";
  con.platform.time = "104237";
  con.platform.count = 6000;
  con.platform.cpu = 2.75f;
  progtail2(con.ws);
  const Lines want = {kAt50,
                      " @ PROGRAM Zarkel",
                      " @ Version: 4.5",
                      " @ STARTED    ON: 2024-02-16 at 09:15:02",
                      " @ TERMINATED ON: 2024-02-17 at 10:42:37",
                      " @ ELAPSED TIME =       5.000 seconds",
                      " @       modulo     35791.395 mn",
                      " @ CPU TIME     =       2.250 seconds",
                      kRule};
  const Lines l = con.lines();
  ASSERT_EQ(l.size(), want.size() + 10 + 1);  // graben: 8 lines and two blank ones
  EXPECT_EQ(Lines(l.begin(), l.begin() + 9), want);
  EXPECT_EQ(l[10], "      -+                                    +-");
  EXPECT_EQ(l.back(), kAt50);
}

TEST(Trailer, LongProcessorTimeInMinutes) {
  Console con;
  fill_runinfo(con.ws, 0);
  con.platform.cpu = 150.0f;
  con.platform.rate = 0;
  progtail2(con.ws);
  const Lines l = con.lines();
  ASSERT_GT(l.size(), 7u);
  EXPECT_EQ(l[5], " @ Could not compute elapsed system clock time");
  EXPECT_EQ(l[6], " @ CPU TIME     =       2.500 mn");
}

TEST(Trailer, PictureByTheLastDigitOfTheTime) {
  struct Case {
    char digit;
    void (*draw)(Workspace&);
  };
  const Case cases[] = {
      {'0', happyface}, {'1', sator},        {'2', carmag33},     {'3', endfun1}, {'4', tetrakis},
      {'5', tetratemple1}, {'6', tetratemple2}, {'7', graben}, {'8', horst},   {'9', tetrakis},
      {' ', endfun1},   {'x', endfun1},
  };
  for (const Case& c : cases) {
    Console chosen;
    closing_picture(chosen.ws, c.digit);
    Console direct;
    c.draw(direct.ws);
    EXPECT_EQ(chosen.out.str(), direct.out.str()) << c.digit;
  }
}

}  // namespace
}  // namespace zk
