#include "app/panel_registry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "app/commands.h"
#include "app/globals.h"
#include "settings/settings.h"
#include "app_test_data.h"
#include "support/test_support.h"

namespace {

int g_listBuilds = 0;

// A trunk of three segments forking into two limbs, finalised into branches. Each segment
// runs from its parent's end (the root from 0.2 below its end) to its own end.
void buildForkedTree(TreeModel& model) {
  const std::pair<Vec3, int> ends[] = {{{0, 0, 0}, -1},  {{0, 1, 0}, 0},   {{0, 2, 0}, 1},  {{0.2, 3, 0}, 2},
                                       {{0.3, 4, 0}, 3}, {{1, 2.6, 0}, 2}, {{1.8, 3, 0}, 5}};
  model.clear();
  for (int i = 0; i < 7; ++i) {
    TreeSegment s;
    s.end = ends[i].first;
    s.parent = ends[i].second;
    s.start = s.parent < 0 ? Vec3(0, -0.2, 0) : ends[s.parent].first;
    for (int j = i + 1; j < 7; ++j)
      if (ends[j].second == i) s.children.push_back(uint32_t(j));
    model.appendSegment(s);
  }
  model.finalise();
}

std::vector<double> allRadii(const TreeModel& model) {
  std::vector<double> radii;
  for (const auto& branch : model.branches) radii.insert(radii.end(), branch->radii.begin(), branch->radii.end());
  return radii;
}

// The global behind an entry, as a number.
template <auto* Global>
double valueOf() {
  return double(*Global);
}

double shownValue(const char* name) {
  double shown = NAN;
  EXPECT_TRUE(panelGetNumber(name, &shown)) << name;
  return shown;
}

class PanelRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSettingsToStartValues();
    g_reconstructor.clear();
    g_reconstructor.model.clear();
    TreeModel::listBuilder = [](TreeModel&) { ++g_listBuilds; };
    g_listBuilds = 0;
  }
  void TearDown() override {
    TreeModel::listBuilder = nullptr;
    g_pointModelNames.clear();
    g_leafModelNames.clear();
    g_reconstructor.model.clear();
    g_pointCloud.reset();
    g_voxelVolume.reset();
    resetSettingsToStartValues();
  }
};

using K = PanelKind;
using A = PanelAccess;

// range: "min max step" as parsed ("-" where absent); keys: key, keyIncr and keyDecr joined.
struct ExpectedEntry {
  const char* name;
  PanelKind kind;
  PanelAccess access;
  const char* range;
  const char* keys;
  const char* definition;
};

const ExpectedEntry kExpectedEntries[] = {
    {"Models", K::Enum, A::Callback, "- - -", "<>", " keyIncr='<' keyDecr='>' help='Choose point cloud model.' "},
    {"Voxel size", K::Double, A::Callback, "0.01 0.5 0.01", "",
     " label='Voxel size' min=0.01 max=0.5 step=0.01 help='Increase/decrease voxel size.' "},
    {"Constraint angle", K::Double, A::Callback, "10 180 1", "",
     " label='Constraint angle' min=10.0 max=180.0 step=1.0 help='Change the constraint angle.' "},
    {"Kill distance", K::Double, A::Callback, "0.2 100 0.2", "",
     " label='Kill distance' min=0.2 max=100.0 step=0.2 help='Change the kill distance.' "},
    {"Influence radius", K::Double, A::Callback, "1 1e+06 1", "",
     " label='Raidus of influence' min=1.0 max=1000000.0 step=1.0 help='Change the radius of influence.' "},
    {"Speedup", K::Bool, A::Variable, "- - -", "0", " label='Speedup SCA' key='0' help='Toggle speedup mode.' "},
    {"Reconstruct tree", K::Button, A::Button, "- - -", "b", "label='Reconstruct tree'  key='b' "},
    {"Show points", K::Bool, A::Variable, "- - -", "1",
     " label='Show points' key='1' help='Toggle point cloud mode.' "},
    {"Show axis", K::Bool, A::Variable, "- - -", "2", " label='Show axis' key='2' help='Toggle coordinate mode.' "},
    {"Show voxel", K::Bool, A::Variable, "- - -", "3", " label='Show voxel' key='3' help='Toggle volume mode.' "},
    {"Show graph", K::Bool, A::Variable, "- - -", "4", " label='Show graph' key='4' help='Toggle graph mode.' "},
    {"Show tree", K::Bool, A::Variable, "- - -", "5", " label='Show tree' key='5' help='Toggle tree mode.' "},
    {"Show leaves", K::Button, A::Button, "- - -", "0", " label='Show leaves' key='0' help='Toggle leaf mode.' "},
    {"Reset scene", K::Button, A::Button, "- - -", "r", "label='Reset scene'  key='r' "},
    {"Run time (secs)", K::Double, A::ReadOnly, "- - -", "", "help='Total elapsed time.' "},
    {"Twig remove ratio", K::Double, A::Callback, "0 1 0.01", "",
     " group='Tree control' min=0.0 max=1.0 step=0.01 help='Change the twig remove ratio.' "},
    {"Branch ratio", K::Double, A::Callback, "1.2 4 0.1", "",
     " group='Tree control' min=1.2 max=4.0 step=0.1 help='Change the branch ratio.' "},
    {"Branch thickness", K::Double, A::Callback, "- - 0.002", "",
     " group='Tree control' step=0.002 help='Change the branch thickness.' "},
    {"Leaf density", K::Int32, A::Callback, "2 16 1", "",
     " group='Tree control' min=2 max=16 step=1 help='Change the leaf density.' "},
    {"Leaf influence", K::Int32, A::Callback, "2 40 1", "",
     " group='Tree control' min=2 max=40 step=1 help='Change the leaf influence area.' "},
    {"Leaf size", K::Double, A::Callback, "0 10 0.02", "",
     " group='Tree control' min=0.0 max=10.0 step=0.02 help='Change the leaf size. ' "},
    {"Leaf phyllotaxis", K::Int32, A::Callback, "1 3 1", "",
     " group='Tree control' min=1 max=3 step=1 help='Increase/decrease the type of leaf arrangement.' "},
    {"Leaf models", K::Enum, A::Callback, "- - -", "", " group='Tree control'  help='Choose leaf model.' "},
    {"Branch color", K::Color3f, A::Callback, "- - -", "", " group='Tree control' help='Change the branch color. ' "},
    {"Leaf color", K::Color3f, A::Callback, "- - -", "", " group='Tree control' help='Change the leaf color. ' "},
    {"Background color", K::Color3f, A::Variable, "- - -", "",
     " label='Background' help='Change the background color.' "},
    {"Export model", K::Button, A::Button, "- - -", "", "label='Export tree model'"},
    {"Rotate anim", K::Bool, A::Variable, "- - -", "F7",
     " label='Rotate anim' key=F7 help='Toggle rotate animation mode.'"},
    {"Fullscreen", K::Bool32, A::Callback, "- - -", "F10",
     " label='Fullscreen' key=F10 help='Toggle fullscreen mode.'"},
};

std::string rangeText(const PanelOptions& o) {
  auto part = [](bool has, double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return has ? std::string(text) : std::string("-");
  };
  return part(o.hasMin, o.min) + " " + part(o.hasMax, o.max) + " " + part(o.hasStep, o.step);
}

}  // namespace

TEST_F(PanelRegistry, EveryEntryInOrderWithItsDefinitionRangeAndShortcut) {
  const std::vector<PanelEntry>& entries = panelEntries();
  ASSERT_EQ(entries.size(), std::size(kExpectedEntries));
  for (size_t i = 0; i < entries.size(); ++i) {
    const ExpectedEntry& want = kExpectedEntries[i];
    SCOPED_TRACE(want.name);
    EXPECT_EQ(entries[i].name, want.name);
    EXPECT_EQ(entries[i].kind, want.kind);
    EXPECT_EQ(entries[i].access, want.access);
    EXPECT_STREQ(entries[i].definition, want.definition);
    EXPECT_EQ(rangeText(entries[i].options), want.range);
    const PanelOptions& o = entries[i].options;
    EXPECT_EQ(o.key + o.keyIncr + o.keyDecr, want.keys);
  }
  EXPECT_STREQ(findPanelEntry("Models")->enumName, "Tree Point Clouds");
  EXPECT_STREQ(findPanelEntry("Leaf models")->enumName, "Leaf models");
  EXPECT_EQ(findPanelEntry("No such entry"), nullptr);
  // Labels, help and groups come from the definitions; without a label the name shows.
  EXPECT_EQ(findPanelEntry("Influence radius")->displayLabel(), "Raidus of influence");
  EXPECT_EQ(findPanelEntry("Models")->displayLabel(), "Models");
  EXPECT_EQ(findPanelEntry("Leaf size")->options.help, "Change the leaf size. ");
  int grouped = 0;
  for (const PanelEntry& e : entries) grouped += e.options.group == "Tree control";
  EXPECT_EQ(grouped, 10);
}

TEST(DefinitionParser, SplitsPairsQuotedValuesAndWordsAndReadsTheBar) {
  ParsedDefinition def;
  ASSERT_TRUE(parseDefinition(" Frondarel position='16 16' alpha=192 help=\"a b\" k=`x y` e= ", def));
  EXPECT_EQ(def.words, std::vector<std::string>{"Frondarel"});
  EXPECT_EQ(def.pairs, (std::vector<std::pair<std::string, std::string>>{
                           {"position", "16 16"}, {"alpha", "192"}, {"help", "a b"}, {"k", "x y"}, {"e", ""}}));
  EXPECT_EQ(def.value("size", "none"), "none");
  EXPECT_FALSE(def.has("size"));
  std::string error;
  EXPECT_FALSE(parseDefinition(" label='open ", def, &error));
  EXPECT_NE(error.find("unterminated"), std::string::npos);
  EXPECT_FALSE(parseDefinition(" =3 ", def, &error));

  const PanelBar& bar = panelBar();
  EXPECT_EQ(bar.name, "Frondarel");
  EXPECT_EQ(bar.definitions,
            (std::vector<std::string>{" GLOBAL help='Frondarel Ver 1.0' ",
                                      " Frondarel position='16 16' size='360 480' color='96 64 0' alpha=192 text=light",
                                      " Frondarel valueswidth=fit "}));
  EXPECT_EQ(bar.globalHelp, "Frondarel Ver 1.0");
  EXPECT_EQ(
      (std::vector<int>{bar.x, bar.y, bar.width, bar.height, bar.color[0], bar.color[1], bar.color[2], bar.alpha}),
      (std::vector<int>{16, 16, 360, 480, 96, 64, 0, 192}));
  EXPECT_TRUE(bar.lightText && bar.valuesWidthFit);
}

TEST_F(PanelRegistry, KillDistanceAndInfluenceRadiusAreShownInStepUnits) {
  EXPECT_DOUBLE_EQ(shownValue("Kill distance"), 2.0);
  ASSERT_TRUE(panelSetNumber("Kill distance", 3.0));
  EXPECT_DOUBLE_EQ(g_dKillDistance, 0.6);
  EXPECT_DOUBLE_EQ(shownValue("Kill distance"), 3.0);
  ASSERT_TRUE(panelSetNumber("Kill distance", 500.0));  // the range is in shown units
  EXPECT_DOUBLE_EQ(g_dKillDistance, 20.0);
  ASSERT_TRUE(panelSetNumber("Influence radius", 25.0));
  EXPECT_DOUBLE_EQ(g_dInfluenceRadius, 5.0);
  EXPECT_DOUBLE_EQ(shownValue("Influence radius"), 25.0);
  g_dKillDistance = 1.0;  // getters read the global every time
  EXPECT_DOUBLE_EQ(shownValue("Kill distance"), 5.0);
}

// Each edit, clamped and snapped to the step grid, lands in its global; tree parameters
// rebuild the built tree (branch radii only for the branch ones), the rest only store.
TEST_F(PanelRegistry, EditsStoreTheirGlobalWithTheirRebuilds) {
  // Display-only parameters redraw nothing before a tree is built.
  ASSERT_TRUE(panelSetNumber("Leaf phyllotaxis", 2.0));
  EXPECT_EQ(g_nLeafPhyllotaxis, 2);

  const std::pair<const char*, bool*> flags[] = {{"Speedup", &g_bSpeedup},       {"Show points", &g_bShowPoints},
                                                 {"Show axis", &g_bShowAxis},    {"Show voxel", &g_bShowVoxel},
                                                 {"Show graph", &g_bShowGraph},  {"Show tree", &g_bShowTree},
                                                 {"Rotate anim", &g_bRotateAnim}};
  for (const auto& [name, flag] : flags) {
    for (bool value : {true, false, true}) {
      ASSERT_TRUE(panelSetNumber(name, value));
      EXPECT_EQ(*flag, value) << name;
      EXPECT_EQ(shownValue(name), value);
    }
  }
  EXPECT_EQ(g_listBuilds, 0);

  buildForkedTree(g_reconstructor.model);
  const struct {
    const char* name;
    double typed, stored;
    double (*global)();
    int builds;
    bool radiiChange;
  } cases[] = {{"Constraint angle", 5, 10, valueOf<&g_dConstraintAngle>, 0, false},
               {"Constraint angle", 500, 180, valueOf<&g_dConstraintAngle>, 0, false},
               {"Constraint angle", 45.4, 45, valueOf<&g_dConstraintAngle>, 0, false},
               // The twig ratio is only stored; it takes effect at the next build.
               {"Twig remove ratio", 0.123, 0.12, valueOf<&g_dTwigRemoveRatio>, 0, false},
               {"Branch ratio", 3.0, 3.0, valueOf<&g_dBranchRatio>, 1, true},
               {"Branch thickness", 0.08, 0.08, valueOf<&g_dBranchThickness>, 1, true},
               // Regression: a negative thickness turned the branch tubes inside out.
               {"Branch thickness", -0.5, 0.0, valueOf<&g_dBranchThickness>, 1, true},
               {"Leaf density", 40, 16, valueOf<&g_nLeafDensity>, 1, false},
               {"Leaf influence", 7, 7, valueOf<&g_nLeafInfluence>, 1, false},
               {"Leaf size", 0.3, 0.3, valueOf<&g_dLeafSize>, 1, false},
               {"Leaf phyllotaxis", -3, 1, valueOf<&g_nLeafPhyllotaxis>, 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.typed));
    const std::vector<double> radii = allRadii(g_reconstructor.model);
    g_listBuilds = 0;
    ASSERT_TRUE(panelSetNumber(c.name, c.typed));
    EXPECT_DOUBLE_EQ(c.global(), c.stored);
    EXPECT_DOUBLE_EQ(shownValue(c.name), c.stored);
    EXPECT_EQ(g_listBuilds, c.builds);
    EXPECT_EQ(allRadii(g_reconstructor.model) != radii, c.radiiChange);
  }
  const bool leaves = g_bShowLeaves;
  g_listBuilds = 0;
  ASSERT_TRUE(panelPressButton("Show leaves"));
  EXPECT_EQ(g_bShowLeaves, !leaves);
  EXPECT_EQ(g_listBuilds, 1);
  // Non-finite input, read-only entries and wrong kinds change nothing.
  EXPECT_FALSE(panelSetNumber("Twig remove ratio", std::nan("")));
  EXPECT_FALSE(panelSetNumber("Twig remove ratio", INFINITY));
  EXPECT_EQ(g_dTwigRemoveRatio, 0.12);
  g_dRunTime = 2.5;
  EXPECT_EQ(shownValue("Run time (secs)"), 2.5);
  EXPECT_FALSE(panelSetNumber("Run time (secs)", 1.0));
  EXPECT_EQ(g_dRunTime, 2.5);
  EXPECT_FALSE(panelSetNumber("Branch color", 1.0));
  EXPECT_FALSE(panelPressButton("Show points"));
}

TEST_F(PanelRegistry, StepButtonsMoveToTheNeighbouringGridValueAndFormatWithTheStepDecimals) {
  const PanelEntry& leafSize = *findPanelEntry("Leaf size");
  // 0.13 (set by a model switch) lies between grid points 0.12 and 0.14.
  EXPECT_EQ(steppedPanelValue(leafSize, 0.13, +1), 0.14);
  EXPECT_EQ(steppedPanelValue(leafSize, 0.13, -1), 0.12);
  EXPECT_EQ(steppedPanelValue(leafSize, 0.14, +1), 0.16);
  EXPECT_EQ(steppedPanelValue(leafSize, 0.0, -1), 0.0);
  EXPECT_EQ(steppedPanelValue(leafSize, 10.0, +1), 10.0);
  // Walking the whole voxel range lands on every grid value exactly.
  const PanelEntry& voxel = *findPanelEntry("Voxel size");
  double v = 0.01;
  for (int i = 1; i <= 49; ++i) {
    v = steppedPanelValue(voxel, v, +1);
    ASSERT_EQ(v, std::round((0.01 + i * 0.01) * 100.0) / 100.0) << i;
  }
  EXPECT_EQ(steppedPanelValue(voxel, v, +1), 0.5);

  EXPECT_EQ(formatPanelValue(voxel, 0.18), "0.18");
  EXPECT_EQ(formatPanelValue(*findPanelEntry("Branch thickness"), 0.04), "0.040");
  EXPECT_EQ(formatPanelValue(*findPanelEntry("Constraint angle"), 90.0), "90.0");
  EXPECT_EQ(formatPanelValue(*findPanelEntry("Leaf density"), 4.0), "4");
  EXPECT_EQ(formatPanelValue(*findPanelEntry("Run time (secs)"), 1.5), "1.500");
}

TEST_F(PanelRegistry, VoxelSizeRebuildsTheGridAndShowsOnlyThePoints) {
  ASSERT_TRUE(g_pointCloud.parseTextCloud("tree.txt", syntheticTreeText(30)));
  g_voxelVolume.build(g_pointCloud, g_dVoxelSize);
  buildForkedTree(g_reconstructor.model);
  g_bShowAxis = g_bShowVoxel = g_bShowTree = g_bShowGraph = true;
  g_bShowPoints = false;
  ASSERT_TRUE(panelSetNumber("Voxel size", 0.3));
  EXPECT_EQ(g_dVoxelSize, 0.3);
  VoxelVolume reference;
  reference.build(g_pointCloud, 0.3);
  EXPECT_EQ(g_voxelVolume.voxelSize, 0.3);
  EXPECT_EQ(g_voxelVolume.cellCount, reference.cellCount);
  EXPECT_EQ(g_voxelVolume.labels, reference.labels);
  EXPECT_TRUE(g_bShowPoints);
  EXPECT_FALSE(g_bShowAxis || g_bShowVoxel || g_bShowTree || g_bShowGraph);
  EXPECT_EQ(g_reconstructor.model.segments.size(), 7u);  // the tree stays as it was
}

TEST_F(PanelRegistry, ColoursAreClampedAndOnlyTreeColoursRedraw) {
  buildForkedTree(g_reconstructor.model);
  g_listBuilds = 0;
  const float red[3] = {1.0f, 0.0f, 0.0f}, odd[3] = {0.25f, 2.0f, -1.0f}, bad[3] = {NAN, 0.0f, 0.0f};
  ASSERT_TRUE(panelSetColor("Branch color", red));
  ASSERT_TRUE(panelSetColor("Leaf color", odd));
  EXPECT_EQ(g_fBranchColor[0], 1.0f);
  EXPECT_EQ(std::vector<float>(g_fLeafColor, g_fLeafColor + 3), (std::vector<float>{0.25f, 1.0f, 0.0f}));
  EXPECT_EQ(g_listBuilds, 2);
  ASSERT_TRUE(panelSetColor("Background color", red));
  float shown[3];
  ASSERT_TRUE(panelGetColor("Background color", shown));
  EXPECT_EQ(std::vector<float>(shown, shown + 3), (std::vector<float>{1.0f, 0.0f, 0.0f}));
  EXPECT_EQ(g_listBuilds, 2);  // the background needs no rebuild
  EXPECT_FALSE(panelSetColor("Background color", bad));
  EXPECT_EQ(g_fBackgroundColor[0], 1.0f);
}

TEST_F(PanelRegistry, ModelsSwitchTheModelWithTheSettingsReset) {
  {
    // Without model files the enumerations ignore edits and keys.
    StdoutCapture out;
    EXPECT_FALSE(panelSetNumber("Models", 0.0));
    EXPECT_FALSE(panelSetNumber("Leaf models", 2.0));
    EXPECT_TRUE(panelApplyShortcut("<"));  // the key is the panel's, but there is nothing to step to
    EXPECT_EQ(out.text(), "");
    EXPECT_EQ(g_nCurrSelected + g_nCurrLeafModel, 0);
  }
  TempDir dir;
  dir.write("data/point_model/a.txt", syntheticTreeText(20));
  dir.write("data/point_model/b.txt", syntheticTreeText(20));
  for (int i = 0; i < 6; ++i) dir.write("data/leaf_model/leaf" + std::to_string(i) + ".txt", exampleLeafModel());
  std::filesystem::create_directories(dir.file("data/tree_model"));
  WorkingFolder cwd(dir.path());
  g_pointModelNames = {"a.txt", "b.txt"};
  g_leafModelNames = {"leaf0.txt", "leaf1.txt", "leaf2.txt", "leaf3.txt", "leaf4.txt", "leaf5.txt"};
  g_dVoxelSize = 0.35;
  g_dLeafSize = 0.5;

  StdoutCapture out;
  ASSERT_TRUE(panelSetNumber("Models", 1.0));
  const std::string text = out.text();
  EXPECT_NE(text.find("g_nCurrSelected=1, g_nCurrLeafModel=5"), std::string::npos) << text;
  EXPECT_EQ(g_nCurrLeafModel, 5);
  EXPECT_EQ(g_dVoxelSize, 0.2);
  EXPECT_EQ(g_dLeafSize, 0.13);
  EXPECT_TRUE(g_pointCloud.loaded);
  EXPECT_EQ(shownValue("Models"), 1.0);

  // Keys < and > step through the list and stop at its ends without reloading.
  StdoutCapture keys;
  for (const auto& [key, selected] : {std::pair{"<", 1}, {">", 0}, {">", 0}}) {
    EXPECT_TRUE(panelApplyShortcut(key));
    EXPECT_EQ(g_nCurrSelected, selected) << key;
  }
  const std::string keyText = keys.text();
  EXPECT_NE(keyText.find("g_nCurrSelected=0, g_nCurrLeafModel=1"), std::string::npos) << keyText;
  EXPECT_EQ(keyText.find("g_nCurrSelected=1"), std::string::npos) << keyText;

  StdoutCapture rest;
  ASSERT_TRUE(panelSetNumber("Leaf models", 3.0));
  EXPECT_EQ(g_nCurrLeafModel, 3);
  // Exporting a built tree writes the point file's name with the extension txt.
  buildForkedTree(g_reconstructor.model);
  ASSERT_TRUE(panelPressButton("Export model"));
  rest.text();
  EXPECT_TRUE(fileExists(dir.file("data/tree_model/a.txt")));
}

TEST_F(PanelRegistry, ShortcutsToggleFlagsAndPressButtons) {
  const struct {
    const char* key;
    bool* flag;
  } toggles[] = {{"1", &g_bShowPoints}, {"2", &g_bShowAxis},    {"3", &g_bShowVoxel}, {"4", &g_bShowGraph},
                 {"5", &g_bShowTree},   {"F7", &g_bRotateAnim}, {"0", &g_bShowLeaves}};
  for (const auto& t : toggles) {
    for (int round = 0; round < 2; ++round) {
      const bool before = *t.flag;
      EXPECT_TRUE(panelApplyShortcut(t.key));
      EXPECT_EQ(*t.flag, !before) << t.key;
    }
  }
  // '0' belongs to "Show leaves"; "Speedup" keeps its start value.
  EXPECT_TRUE(g_bSpeedup);
  EXPECT_EQ(panelShortcutOwner("0")->name, "Show leaves");
  g_fRotX = 33.0f;
  EXPECT_TRUE(panelApplyShortcut("r"));
  EXPECT_EQ(g_fRotX, 10.0f);
  for (const char* key : {"a", "6", ""}) EXPECT_FALSE(panelApplyShortcut(key)) << key;
}

TEST_F(PanelRegistry, TooltipsNameTheOwnerOfTheSharedKey) {
  const std::string leaves = panelTooltip(*findPanelEntry("Show leaves"));
  EXPECT_EQ(leaves.find("Toggle leaf mode."), 0u);
  EXPECT_NE(leaves.find("Key 0 toggles this entry, not 'Speedup SCA'."), std::string::npos) << leaves;
  const std::string speedup = panelTooltip(*findPanelEntry("Speedup"));
  EXPECT_EQ(speedup.find("Toggle speedup mode."), 0u);
  EXPECT_NE(speedup.find("'Show leaves'"), std::string::npos) << speedup;
  EXPECT_EQ(panelTooltip(*findPanelEntry("Run time (secs)")), "Total elapsed time.");
}
