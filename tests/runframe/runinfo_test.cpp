// The run information code: set (reset when out of range), get, reset, and
// requests that do nothing.
#include "console.hpp"
#include "runframe/runinfo.hpp"

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

}  // namespace
}  // namespace zk
