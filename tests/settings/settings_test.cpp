// The settings table: every user setting is reachable by its names, starts inside its own
// range, and parses values of its type only.

#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace {

class SettingsTable : public ::testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override { resetSettingsToStartValues(); }
};

TEST_F(SettingsTable, UserSettingsStartInsideTheirRangeAndAreFoundByEveryName) {
  std::set<std::string> names;
  for (const SettingInfo& s : settingTable()) {
    SCOPED_TRACE(s.name);
    EXPECT_TRUE(names.insert(s.name).second) << "duplicate name";
    if (!s.userSet) continue;
    EXPECT_GE(s.value(), s.min);
    EXPECT_LE(s.value(), s.max);
    if (!std::isnan(s.switchValue)) {
      EXPECT_GE(s.switchValue, s.min);
      EXPECT_LE(s.switchValue, s.max);
    }
    EXPECT_EQ(findSetting(s.name), &s);
    if (s.headerKey) {
      EXPECT_TRUE(names.insert(s.headerKey).second) << "duplicate key";
      EXPECT_EQ(findSetting(s.headerKey), &s);
    }
    EXPECT_GT(std::string(s.help).size(), 10u);
  }
  EXPECT_EQ(findSetting("g_fCamX"), nullptr) << "view state is not a user setting";
}

TEST_F(SettingsTable, ValuesParseByTheSettingsType) {
  struct Case {
    const char* name;
    const char* value;
    bool ok;
    double stored;
  } cases[] = {
      {"resolution", "0.15", true, 0.15},
      {"g_dVoxelSize", "1e-1", true, 0.1},
      {"resolution", "0.1x", false, 0.18},
      {"resolution", "inf", false, 0.18},
      {"KNN", "20", true, 20},
      {"KNN", "2.5", false, 16},
      {"g_bSpeedup", "off", true, 0},
      {"g_bSpeedup", "1", true, 1},
      {"g_bSpeedup", "maybe", false, 1},
      {"refineTrunk", "2", true, 2},
      {"nosuch", "1", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    resetSettingsToStartValues();
    std::string error;
    EXPECT_EQ(setSettingByName(c.name, c.value, &error), c.ok) << error;
    if (const SettingInfo* s = findSetting(c.name)) {
      EXPECT_DOUBLE_EQ(s->value(), c.stored);
    }
    if (!c.ok) {
      EXPECT_NE(error.find(c.name), std::string::npos);
    }
  }
}

TEST_F(SettingsTable, UnknownNameListsTheValidOnes) {
  std::string error;
  EXPECT_FALSE(setSettingByName("resolutoin", "0.1", &error));
  EXPECT_NE(error.find("resolution (g_dVoxelSize)"), std::string::npos) << error;
  EXPECT_NE(error.find("g_dConstraintAngle"), std::string::npos) << error;
}

TEST_F(SettingsTable, StartValueTextLeavesCurrentValuesAlone) {
  g_nKNN = 30;
  g_nKNNUsed = 30;
  EXPECT_EQ(startValueText(*findSetting("g_nKNNUsed")), "16");
  EXPECT_EQ(startValueText(*findSetting("g_bSpeedup")), "on");
  EXPECT_EQ(g_nKNN, 30);
  EXPECT_EQ(g_nKNNUsed, 30);
}

}  // namespace
