#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console.hpp"
#include "runframe/frames.hpp"
#include "runtime/errors.hpp"

namespace zk {
namespace {

using test::Console;
using Lines = std::vector<std::string>;

const std::string kAt50(50, '@');
const std::string kStar50(50, '*');
const std::string kSlash50(50, '/');

TEST(MenuFrame, NamesTheRoutineVersionAndDate) {
  struct Case {
    std::string name, version, date, line2;
  };
  const Case cases[] = {
      {"opef2               ", " 5.2", "2023-04-25", " @ subroutine opef2                 v5.2 2023-04-25"},
      {"x", "10.25", "2024-06-05", " @ subroutine x                    v10.2 2024-06-05"},
      {"a_very_long_routine_name_here", "1", "2024-06-05", " @ subroutine a_very_long_routine_    v1 2024-06-05"},
  };
  for (const Case& c : cases) {
    Console con;
    submenuhead(con.ws, c.name, c.version, c.date);
    menutail(con.ws);
    const Lines l = con.lines();
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[0], " " + kAt50);
    EXPECT_EQ(l[1], c.line2);
    EXPECT_EQ(l[1].size(), 51u);
    EXPECT_EQ(l[2], " @" + std::string(49, '='));
    EXPECT_EQ(l[3], " " + kAt50);
  }
}

TEST(ErrorFrame, NineRecordsThenTheWait) {
  Console con("\n");
  errorhead(con.ws, "inchardef  ", " 1.5", "2024-02-05");
  errortail00(con.ws);
  const std::string blank = " ***" + std::string(44, ' ') + "***";
  const Lines want = {
      " " + kStar50,
      " " + kStar50,
      blank,
      " ***          subroutine   inchardef            ***",
      blank,
      " ***                   ERROR                    ***",
      blank,
      " " + kStar50,
      " " + kStar50,
      " ===> HIT RETURN TO CONTINUE",
      " " + kStar50,
  };
  EXPECT_EQ(con.lines(), want);
}

TEST(WarningFrame, CutsALongNameAndWaits) {
  Console con("ignored answer\nnext\n");
  warninghead(con.ws, "opef2               ", " 5.2", "2023-04-25");
  warningtail00(con.ws);
  const Lines want = {
      " " + kSlash50,
      " ///          subroutine opef2                  ///",
      " ///                  WARNING                   ///",
      " " + kSlash50,
      " ===> HIT RETURN TO CONTINUE",
      " " + kSlash50,
  };
  EXPECT_EQ(con.lines(), want);
  EXPECT_EQ(con.rest(), "next\n");  // one record read, no more
}

TEST(ClosingWait, FollowsPauseAndCommandFile) {
  struct Case {
    bool pause, cmdopen;
    Lines tail;
    std::string rest;
  };
  const Case cases[] = {
      {true, false, {" ===> HIT RETURN TO CONTINUE", " " + kStar50}, "b\n"},
      {true, true, {" ===> HIT RETURN TO RESUME COMMANDS", " " + kStar50}, "b\n"},
      {false, false, {" " + kStar50}, "a\nb\n"},
  };
  for (const Case& c : cases) {
    Console con("a\nb\n");
    con.ws.iocom.iopause = c.pause;
    con.ws.iocom.iocmdopen = c.cmdopen;
    errortail00(con.ws);
    EXPECT_EQ(con.lines(), c.tail);
    EXPECT_EQ(con.rest(), c.rest);
  }
}

TEST(ClosingWait, EndOfInputEndsTheRun) {
  Console con("");
  EXPECT_THROW(warningtail00(con.ws), rt::EndOfInput);
}

TEST(Initsio2, StoresTheDefaultsAndListsThemOnRequest) {
  Console con;
  con.ws.iocom = iocom_t{};
  con.ws.iocom.iocmdin = 11;
  initsio2(con.ws, 5);
  const iocom_t& io = con.ws.iocom;
  EXPECT_EQ(io.iostdin, 5);
  EXPECT_EQ(io.iostdout, 6);
  EXPECT_EQ(io.ioerrin, 5);
  EXPECT_EQ(io.ioerrout, 6);
  EXPECT_EQ(io.iocmdin, 11);  // left as it was
  EXPECT_TRUE(io.iopause && io.iominout && io.iomoreout);
  EXPECT_FALSE(io.iomaxout || io.iocmdopen || io.ioplotopen);
  const Lines l = con.lines();
  ASSERT_EQ(l.size(), 4u);  // frame head and setup line, no closing line
  EXPECT_EQ(l[1], " @ subroutine initsio2              v4.0 2012-04-25");
  EXPECT_EQ(l[3], " INITIALIZING INPUT/OUTPUT");

  Console listed;
  initsio2(listed.ws, 0);
  const Lines want = {
      " INPUT/OUTPUT SET UP:",
      " standard  input unit        =  5",
      " standard output unit        =  6",
      " error     input unit        =  5",
      " error    output unit        =  6",
      " minimum output enabled      :  T",
      " more    output enabled      :  T",
      " maximum output enabled      :  F",
      " command file open status    :  F",
      " plot    file open status    :  F",
      " pause after warning or error:  T",
      " " + kAt50,
  };
  const Lines got = listed.lines();
  ASSERT_EQ(got.size(), 4u + 3u + want.size());
  EXPECT_EQ(got[5], " @ subroutine writesio              v2.0 2024-06-05");
  EXPECT_EQ(Lines(got.begin() + 7, got.end()), want);
}

}  // namespace
}  // namespace zk
