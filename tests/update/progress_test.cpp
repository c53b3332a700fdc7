// The progress callback that block transfers report into.

#include <gtest/gtest.h>

#include "update/engine_rig.h"

namespace orvane::test {
namespace {

TEST(Progress, ShowsTruncatedPercentagesAndRedrawsOnlyOnChange) {
  EngineRig rig;
  rig.Build();
  const std::vector<std::pair<int, int>> calls = {{1, 3}, {2, 3}, {2, 3}, {50, 200}, {200, 200}};
  for (auto [done, total] : calls) rig.engine->OnProgress(done, total);

  const int row = rig.engine->currentListRow();
  EXPECT_EQ(rig.view.Percents(),
            (std::vector<std::pair<int, int>>{{row, 33}, {row, 66}, {row, 66}, {row, 25}, {row, 100}}));
  EXPECT_EQ(rig.view.CountCalls("RedrawRowProgress"), 4);  // the repeated 66 is not redrawn
  EXPECT_EQ(rig.view.CountCalls("StopRowProgress"), 1);    // only 200 of 200 ends the display
  EXPECT_EQ(rig.view.CountCalls("EnsureRowVisible"), 5);
}

TEST(Progress, NothingIsShownForATransferWithoutPieces) {
  EngineRig rig;
  rig.Build();
  rig.engine->OnProgress(0, 0);
  rig.engine->OnProgress(1, 0);
  rig.engine->OnProgress(1, -4);
  EXPECT_TRUE(rig.view.Calls().empty());
}

}  // namespace
}  // namespace orvane::test
