#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "console.hpp"
#include "runframe/platform.hpp"
#include "runframe/runinfo.hpp"

namespace zk {
namespace {

using test::Console;
using Lines = std::vector<std::string>;

const std::string kSlash50 = " " + std::string(50, '/');
const Lines kSwpinfoWarning = {kSlash50, " ///          subroutine   swpinfo              ///",
                               " ///                  WARNING                   ///", kSlash50};

Lines cat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(Swpinfo, SetGetResetAndUnknownRequests) {
  const Lines wait = {" ===> HIT RETURN TO CONTINUE", kSlash50};
  struct Case {
    std::string name;
    int code, inter, stored_before;
    int code_after, stored_after;
    Lines out;
  };
  const Case cases[] = {
      {"set out of range", 7, 1, 2, 0, 0,
       cat({kSwpinfoWarning,
            {" RUN INFO CODE OUT OF RANGE:", "  run info code =     7", "  min =     0", "  max =     3",
             " ==> RESET run info code =     0"},
            wait})},
      {"set in range", 3, 1, 0, 3, 3, {}},
      {"get", -1, 3, 2, 2, 2, {}},
      {"large inter", 3, 104, 2, 3, 2, cat({kSwpinfoWarning, {" inter =   104", " ===> NO ACTION"}, wait})},
      {"unknown inter", 1, 9, 2, 1, 2, cat({kSwpinfoWarning, {" inter =     9", " ===> NO ACTION"}, wait})},
      {"negative inter", 1, -1, 2, 1, 2, cat({kSwpinfoWarning, {" inter =    -1", " ===> NO ACTION"}, wait})},
  };
  for (const Case& c : cases) {
    Console con("\n");
    con.ws.runinfo3com.ricode = c.stored_before;
    int code = c.code;
    swpinfo(con.ws, code, c.inter);
    EXPECT_EQ(code, c.code_after) << c.name;
    EXPECT_EQ(con.ws.runinfo3com.ricode, c.stored_after) << c.name;
    EXPECT_EQ(con.lines(), c.out) << c.name;
  }
}

TEST(Swpinfo, ResetAnnouncedLeavesTheFrameOpen) {
  Console con;
  con.ws.runinfo3com.ricode = 3;
  int code = 2;
  swpinfo(con.ws, code, 5);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(con.ws.runinfo3com.ricode, 0);
  const Lines l = con.lines();
  ASSERT_EQ(l.size(), 4u);
  EXPECT_EQ(l[1], " @ subroutine swpinfo               v1.1 2021-02-27");
  EXPECT_EQ(l[3], " INITIALISING RUN INFO");
}

TEST(Swpinfo, AskShowsTheMenuAndStoresTheAnswer) {
  Console con("2\n");
  con.ws.runinfo3com.ricode = 1;
  int code = 0;
  swpinfo(con.ws, code, 2);
  EXPECT_EQ(code, 2);
  EXPECT_EQ(con.ws.runinfo3com.ricode, 2);
  const Lines l = con.lines();
  const std::string dashes = " " + std::string(43, '-');
  const Lines menu = {dashes,
                      "    RUN INFORMATION TO WRITE AND PLOT",
                      dashes,
                      " run info code current value =     1",
                      " date+user+host+os+hardw+main+subr+cmnd...0",
                      " date+user+host+os+hardw+main+subr     ...1",
                      " date          +os+hardw+main+subr+cmnd...2",
                      " date          +os+hardw+main+subr     ...3",
                      " " + std::string(50, '@')};
  ASSERT_GT(l.size(), 12u);
  EXPECT_EQ(Lines(l.begin() + 3, l.begin() + 12), menu);
  EXPECT_NE(std::find(l.begin(), l.end(), " Default =            1"), l.end());
  EXPECT_NE(std::find(l.begin(), l.end(), " New value =             2"), l.end());
}

TEST(Osversion, MacOsSelectorsAndOtherSystems) {
  const uint32_t s1 = gestalt_selector("sys1"), s2 = gestalt_selector("sys2"),
                 s3 = gestalt_selector("sys3"), sv = gestalt_selector("sysv");
  struct Case {
    std::string name;
    bool mac;
    std::map<uint32_t, int32_t> answers;
    bool kernel;
    std::string text;
  };
  const Case cases[] = {
      {"10.6.8", true, {{s1, 10}, {s2, 6}, {s3, 8}}, true, "MacOSX.6.8"},
      {"12.3.1", true, {{s1, 12}, {s2, 3}, {s3, 1}}, true, "MacOS12.3.1"},
      {"cut to 13", true, {{s1, 1234}, {s2, 5678}, {s3, 9}}, true, "MacOS1234.567"},
      {"no fix level", true, {{s1, 10}, {s2, 4}}, true, "MacOSX.4.?"},
      {"sysv", true, {{s1, 10}, {sv, 0x1060}}, true, "MacOS_1060"},
      {"sysv short", true, {{sv, 0x86}}, true, "MacOS_86"},
      {"nothing", true, {}, true, "MacOS?"},
      {"linux", false, {{s1, 10}, {s2, 6}}, true, "Linux6.1.0-28"},
      {"no kernel answer", false, {}, false, "OS?"},
  };
  for (const Case& c : cases) {
    Console con;
    con.platform.mac = c.mac;
    con.platform.answers = c.answers;
    con.platform.has_kernel = c.kernel;
    Text<13> text("junk");
    osversion(con.ws, text);
    EXPECT_EQ(text.view(), Text<13>(c.text).view()) << c.name;
  }
}

TEST(Hardinfo, ProcessorNameAndSpeed) {
  const uint32_t sysa = gestalt_selector("sysa"), cput = gestalt_selector("cput"),
                 mclk = gestalt_selector("mclk"), pclk = gestalt_selector("pclk");
  struct Case {
    std::map<uint32_t, int32_t> answers;
    std::string text;
  };
  const Case cases[] = {
      {{}, "CPU?-?MHz"},
      {{{sysa, 1}}, "68K-?MHz"},
      {{{sysa, 2}, {cput, 0x10b}}, "PPC-?MHz"},  // unknown cput keeps the architecture
      {{{sysa, 2}, {cput, 0x108}, {mclk, 400}}, "PPC750-400MHz"},
      {{{sysa, 10}, {mclk, 1000}}, "i86-1.0GHz"},
      {{{sysa, 10}, {mclk, 999}}, "i86-999MHz"},
      {{{sysa, 10}, {mclk, 2400}}, "i86-2.4GHz"},
      {{{sysa, 7}, {cput, 0}}, "M68000-?MHz"},
      {{{cput, 0x5490b78c}, {pclk, 2000000000}}, "Core-i5-2.0GHz"},
      {{{cput, static_cast<int32_t>(0x78ea4fbcU)}, {pclk, 1000000000}}, "Core-i2-1.0GHz"},
      {{{cput, 0x69353836}, {pclk, 999000000}}, "Core-i2-999MHz"},
      {{{cput, 0x10a}, {pclk, 400000000}, {mclk, 450}}, "PPC604ev-450MHz"},  // mclk first
      {{{cput, 0x111}, {pclk, 66670000}}, "PPC7455-66MHz"},
  };
  for (const Case& c : cases) {
    Console con;
    con.platform.answers = c.answers;
    Text<30> text;
    hardinfo(con.ws, text);
    EXPECT_EQ(text.view(), Text<30>(c.text).view()) << c.text;
  }
}

TEST(RunInfo, DescriptionsAndStart) {
  Console con;
  con.platform.mac = false;
  con.platform.host_ok = false;
  con.platform.login = "averyverylongloginname";
  con.platform.date = "20240216";
  con.platform.time = "091502";
  con.platform.cpu = 0.25f;
  con.platform.count = 123456;
  smaininfo2(con.ws, "Zarkel     ", " 4.5", "2024-02-16");
  const runinfo3com_t& ri = con.ws.runinfo3com;
  EXPECT_EQ(ri.riprogno, 1);
  EXPECT_EQ(ri.ricode, 0);
  EXPECT_EQ(ri.riname[0].view(), "Zarkel     ");
  EXPECT_EQ(ri.riversion[0].view(), " 4.5");
  EXPECT_EQ(ri.ridate[0].view(), "2024-02-16");
  EXPECT_EQ(ri.riuser.view(), "averyveryl");
  EXPECT_EQ(ri.rihost.view(), Text<35>("Macintosh").view());
  EXPECT_EQ(ri.risystem.view(), "Linux6.1.0-28");
  EXPECT_EQ(ri.ricpu.view(), Text<30>("CPU?-?MHz").view());
  EXPECT_EQ(ri.ristartdate.view(), "2024-02-16");
  EXPECT_EQ(ri.ristarttime.view(), "09:15:02");
  EXPECT_EQ(ri.ricpu0, 0.25f);
  EXPECT_EQ(ri.riclock0, 123456);
  const Lines l = con.lines();
  ASSERT_EQ(l.size(), 4u);  // the announced reset only
  EXPECT_EQ(l[3], " INITIALISING RUN INFO");
}

}  // namespace
}  // namespace zk
