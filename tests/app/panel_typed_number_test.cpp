// A number typed into a panel field is kept as typed: clamped to the entry's range (and
// rounded for integers), never snapped to the step grid; the - and + buttons still step
// along the grid from there.

#include <gtest/gtest.h>

#include <cmath>

#include "app/panel_registry.h"
#include "settings/settings.h"

namespace {

TEST(PanelTypedNumber, KeptAsTypedWithinTheRange) {
  const struct {
    const char* entry;
    double typed, stored;
    const char* shown;
  } cases[] = {
      {"Voxel size", 0.125, 0.125, "0.125"}, {"Voxel size", 0.13, 0.13, "0.13"},
      {"Voxel size", 0.7, 0.5, "0.50"},      {"Constraint angle", 47.25, 47.25, "47.25"},
      {"Leaf density", 5.6, 6.0, "6"},       {"Branch thickness", -1.0, 0.0, "0.000"},
      {"Kill distance", 3.3, 3.3, "3.3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    resetSettingsToStartValues();
    const PanelEntry* e = findPanelEntry(c.entry);
    ASSERT_NE(e, nullptr);
    ASSERT_TRUE(panelEnterNumber(*e, c.typed));
    EXPECT_NEAR(e->get(), c.stored, 1e-12);
    EXPECT_EQ(formatPanelValue(*e, e->get()), c.shown);
  }
  resetSettingsToStartValues();
}

TEST(PanelTypedNumber, StepButtonsReturnToTheGrid) {
  const PanelEntry& voxel = *findPanelEntry("Voxel size");
  EXPECT_DOUBLE_EQ(steppedPanelValue(voxel, 0.125, +1), 0.13);
  EXPECT_DOUBLE_EQ(steppedPanelValue(voxel, 0.125, -1), 0.12);
  double out = 0.0;
  EXPECT_FALSE(clampTypedPanelValue(voxel, std::nan(""), &out));
  EXPECT_FALSE(clampTypedPanelValue(*findPanelEntry("Show tree"), 1.0, &out));
}

}  // namespace
