// The settings table: every user setting is reachable by its names, starts inside its own
// range, and parses values of its type only.

#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "support/fresh_globals.h"

namespace {

using SettingsTable = FreshSettings;

TEST_F(SettingsTable, UserSettingsStartInsideTheirRangeAndAreFoundByEveryName) {
  std::set<std::string> names;
  for (const SettingInfo& s : settingTable()) {
    SCOPED_TRACE(s.name);
    EXPECT_TRUE(names.insert(s.name).second) << "duplicate name";
    if (!s.userSet) continue;
    EXPECT_TRUE(s.value() >= s.min && s.value() <= s.max) << s.value();
    EXPECT_TRUE(std::isnan(s.switchValue) || (s.switchValue >= s.min && s.switchValue <= s.max)) << s.switchValue;
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
  const struct {
    const char *name, *value;
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
      {"resolutoin", "0.1", false, 0},  // the message lists the valid names
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    resetSettingsToStartValues();
    std::string error;
    EXPECT_EQ(setSettingByName(c.name, c.value, &error), c.ok) << error;
    const SettingInfo* s = findSetting(c.name);
    EXPECT_TRUE(s ? s->value() == c.stored : error.find("resolution (g_dVoxelSize)") != std::string::npos) << error;
    EXPECT_TRUE(c.ok || error.find(c.name) != std::string::npos) << error;
  }
}

TEST_F(SettingsTable, StartValueTextLeavesCurrentValuesAlone) {
  g_nKNN = g_nKNNUsed = 30;
  EXPECT_EQ(startValueText(*findSetting("g_nKNNUsed")), "16");
  EXPECT_EQ(startValueText(*findSetting("g_bSpeedup")), "on");
  EXPECT_TRUE(g_nKNN == 30 && g_nKNNUsed == 30);
}

}  // namespace
