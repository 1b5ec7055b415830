#include "grid/grid.hpp"

#include <gtest/gtest.h>

namespace {

using zk::grid::Index;

TEST(GridCells, AdjacentOnlyAcrossOneFace) {
  struct Case {
    Index a, b;
    bool adjacent;
  };
  const Case cases[] = {
      {{0, 0}, {1, 0}, true},         {{0, 0}, {0, -1}, true},     {{2, 3, 1}, {2, 3, 2}, true},
      {{0, 0}, {1, 1}, false},        {{0, 0}, {0, 0}, false},     {{0, 0}, {2, 0}, false},
      {{0, 0}, {0, 0, 1}, false},     {{5}, {4}, true},            {{0, 0, 0, 0}, {0, 0, 0, 1}, true},
  };
  for (const auto& c : cases) EXPECT_EQ(zk::grid::adjacent(c.a, c.b), c.adjacent) << zk::grid::cell_name(c.a) << " " << zk::grid::cell_name(c.b);
}

TEST(GridCells, NamesKeepOrderAndSign) {
  EXPECT_EQ(zk::grid::cell_name({3, 12}), "c_3_12");
  EXPECT_EQ(zk::grid::cell_name({-1, 4, 0, 7}), "c_-1_4_0_7");
  EXPECT_EQ(zk::grid::cell_name({0}), "c_0");
}

}  // namespace
