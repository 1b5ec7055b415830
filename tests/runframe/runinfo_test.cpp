#include <algorithm>

#include "console.hpp"
#include "runframe/runinfo.hpp"

namespace zk {
namespace {

using test::Console;
using test::kSlash50;
using test::Lines;

TEST(Swpinfo, SetGetResetAndUnknownRequests) {
  const Lines warning = {kSlash50, " ///          subroutine   swpinfo              ///",
                         " ///                  WARNING                   ///", kSlash50};
  const Lines wait = {" ===> HIT RETURN TO CONTINUE", kSlash50};
  const auto no_action = [&](const std::string& inter) {
    return test::cat({warning, {" inter =" + inter, " ===> NO ACTION"}, wait});
  };
  struct Case {
    int code, inter, stored_before, code_after, stored_after;
    Lines out;
  } const cases[] = {
      {7, 1, 2, 0, 0,  // set, out of range
       test::cat({warning,
                  {" RUN INFO CODE OUT OF RANGE:", "  run info code =     7", "  min =     0", "  max =     3",
                   " ==> RESET run info code =     0"},
                  wait})},
      {3, 1, 0, 3, 3, {}},  // set
      {-1, 3, 2, 2, 2, {}},  // get
      {3, 104, 2, 3, 2, no_action("   104")},
      {1, 9, 2, 1, 2, no_action("     9")},
      {1, -1, 2, 1, 2, no_action("    -1")},
  };
  for (const Case& c : cases) {
    Console con("\n");
    con.ws.runinfo3com.ricode = c.stored_before;
    int code = c.code;
    swpinfo(con.ws, code, c.inter);
    EXPECT_EQ(code, c.code_after) << c.inter;
    EXPECT_EQ(con.ws.runinfo3com.ricode, c.stored_after) << c.inter;
    EXPECT_EQ(con.lines(), c.out) << c.inter;
  }
}

TEST(Osversion, MacOsSelectorsAndOtherSystems) {
  const uint32_t s1 = gestalt_selector("sys1"), s2 = gestalt_selector("sys2"), s3 = gestalt_selector("sys3"),
                 sv = gestalt_selector("sysv");
  struct Case {
    bool mac;
    std::map<uint32_t, int32_t> answers;
    bool kernel;
    std::string text;
  } const cases[] = {
      {true, {{s1, 10}, {s2, 6}, {s3, 8}}, true, "MacOSX.6.8"},
      {true, {{s1, 12}, {s2, 3}, {s3, 1}}, true, "MacOS12.3.1"},
      {true, {{s1, 1234}, {s2, 5678}, {s3, 9}}, true, "MacOS1234.567"},  // cut to 13
      {true, {{s1, 10}, {s2, 4}}, true, "MacOSX.4.?"},
      {true, {{s1, 10}, {sv, 0x1060}}, true, "MacOS_1060"},  // the sysv fallback
      {true, {{sv, 0x86}}, true, "MacOS_86"},
      {true, {}, true, "MacOS?"},
      {false, {{s1, 10}, {s2, 6}}, true, "Linux6.1.0-28"},
      {false, {}, false, "OS?"},
  };
  for (const Case& c : cases) {
    Console con;
    con.platform.mac = c.mac;
    con.platform.answers = c.answers;
    con.platform.has_kernel = c.kernel;
    Text<13> text("junk");
    osversion(con.ws, text);
    EXPECT_EQ(text.view(), Text<13>(c.text).view());
  }
}

TEST(Hardinfo, ProcessorNameAndSpeed) {
  const uint32_t sysa = gestalt_selector("sysa"), cput = gestalt_selector("cput"), mclk = gestalt_selector("mclk"),
                 pclk = gestalt_selector("pclk");
  const std::pair<std::map<uint32_t, int32_t>, std::string> cases[] = {
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
  for (const auto& [answers, want] : cases) {
    Console con;
    con.platform.answers = answers;
    Text<30> text;
    hardinfo(con.ws, text);
    EXPECT_EQ(text.view(), Text<30>(want).view());
  }
}

TEST(RunInfo, DescriptionsAndStart) {
  Console con;
  con.platform.mac = con.platform.host_ok = false;
  con.platform.login = "averyverylongloginname";
  con.platform.cpu = 0.25f;
  con.platform.count = 123456;
  smaininfo2(con.ws, "Zarkel     ", " 4.5", "2024-02-16");
  const runinfo3com_t& ri = con.ws.runinfo3com;
  EXPECT_EQ(ri.riprogno, 1);
  EXPECT_EQ(ri.riuser.view(), "averyveryl");  // cut to the field
  EXPECT_EQ(ri.rihost.view(), Text<35>("Macintosh").view());  // the host name failed
  EXPECT_EQ(ri.risystem.view(), "Linux6.1.0-28");
  EXPECT_EQ(std::string(ri.ristartdate.view()) + " " + std::string(ri.ristarttime.view()), "2024-02-16 09:15:02");
  EXPECT_EQ(ri.ricpu0, 0.25f);
  EXPECT_EQ(ri.riclock0, 123456);
  EXPECT_EQ(con.lines().size(), 4u);  // the announced reset only
}

}  // namespace
}  // namespace zk
