#include "render/wave_render.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace kestal {
namespace {

struct WorkedValue {
  const char* description;
  int y;
  int displacement;
};

// Source height 100, frame 1 of 5.
TEST(WaveRender, PerspectiveWorkedValues) {
  const WorkedValue rows[] = {
      {"row 0 moves up by one", 0, -1}, {"row 1", 1, 1},  {"row 2", 2, 1},  {"row 3", 3, 0},
      {"row 4", 4, 0},                  {"row 5", 5, 0},  {"row 6", 6, 1},  {"row 7", 7, -1},
      {"row 8", 8, 1},                  {"row 9", 9, 1},
  };
  for (const WorkedValue& r : rows) {
    EXPECT_EQ(PerspectiveDisplacement(r.y, 100, 1, 5), r.displacement) << r.description;
  }
}

TEST(WaveRender, RegularWorkedValues) {
  const WorkedValue rows[] = {
      {"row 4", 4, 1},     {"row 6", 6, 2},     {"row 12", 12, -5}, {"row 24", 24, -11},
      {"row 31", 31, 10},  {"row 32", 32, 3},   {"row 36", 36, -15}, {"row 50", 50, -3},
  };
  for (const WorkedValue& r : rows) {
    EXPECT_EQ(RegularDisplacement(r.y, 1, 5, 2), r.displacement) << r.description;
  }
}

}  // namespace
}  // namespace kestal
