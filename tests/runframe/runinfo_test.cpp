// The run information code: set (reset when out of range), get, reset, and
// requests that do nothing.
#include "console.hpp"
#include "runframe/platform.hpp"
#include "runframe/runinfo.hpp"
#include "runframe/text_helpers.hpp"

namespace zk {
namespace {

TEST(Swpinfo, SetGetResetAndUnknownRequests) {
  struct Case {
    int code, inter, stored_before, code_after, stored_after;
    std::size_t lines;  // console lines written
  } const cases[] = {
      {7, 1, 2, 0, 0, 11},  {3, 1, 0, 3, 3, 0},  {-1, 3, 2, 2, 2, 0},
      {2, 5, 3, 0, 0, 4},   {3, 104, 2, 3, 2, 8}, {1, -1, 2, 1, 2, 8},
  };
  for (const Case& c : cases) {
    test::Console con("\n");
    con.ws.runinfo3com.ricode = c.stored_before;
    int code = c.code;
    swpinfo(con.ws, code, c.inter);
    EXPECT_EQ(code, c.code_after) << c.inter;
    EXPECT_EQ(con.ws.runinfo3com.ricode, c.stored_after) << c.inter;
    EXPECT_EQ(con.lines().size(), c.lines) << c.inter;
  }
}

// A machine that answers only the clock selector of a case.
struct ClockOnly : Platform {
  uint32_t selector;
  int32_t value;
  ClockOnly(uint32_t sel, int32_t v) : selector(sel), value(v) {}
  bool gestalt(uint32_t sel, int32_t& answer) override { return sel == selector && ((answer = value), true); }
  bool is_mac_os() const override { return false; }
  bool kernel(std::string&, std::string&) override { return false; }
  std::string login_name() override { return ""; }
  bool host_name(std::string&) override { return false; }
  void local_date_time(std::string&, std::string&) override {}
  float processor_time() override { return 0.0f; }
  void system_clock(int32_t&, int32_t&, int32_t&) override {}
};

// The processor speed in MHz below 1000 MHz, in GHz from there, whichever
// clock the machine gives; 999999999 Hz is 1000 MHz in single precision,
// which the six-character field cuts.
TEST(Hardinfo, SpeedAtTheUnitBoundary) {
  const struct {
    uint32_t selector;
    int32_t value;
    const char* text;
  } cases[] = {{gestalt_selector("mclk"), 999, "CPU?-999MHz"},    {gestalt_selector("mclk"), 1000, "CPU?-1.0GHz"},
               {gestalt_selector("pclk"), 999999999, "CPU?-1000MH"}, {gestalt_selector("pclk"), 1000000000, "CPU?-1.0GHz"},
               {gestalt_selector("none"), 0, "CPU?-?MHz"}};
  for (const auto& c : cases) {
    test::Console con;
    ClockOnly pf(c.selector, c.value);
    con.ws.platform = &pf;
    Text<30> text;
    hardinfo(con.ws, text);
    EXPECT_EQ(trimmed(text.view()), c.text) << c.value;
  }
}

}  // namespace
}  // namespace zk
