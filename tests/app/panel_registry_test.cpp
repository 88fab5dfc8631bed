#include "app/panel_registry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "app/commands.h"
#include "app/globals.h"
#include "app/settings.h"
#include "app_test_data.h"
#include "support/test_support.h"

namespace {

int g_listBuilds = 0;
void countListBuild(TreeModel&) {
  ++g_listBuilds;
}

std::vector<std::pair<int, int>> g_reshapes;
int g_fullScreens = 0;
void recordReshape(int w, int h) {
  g_reshapes.emplace_back(w, h);
}
void recordFullScreen() {
  ++g_fullScreens;
}

Vec3 point(double x, double y, double z) {
  Vec3 v;
  v.x = x;
  v.y = y;
  v.z = z;
  return v;
}

TreeSegment segment(Vec3 start, Vec3 end, int parent, std::vector<uint32_t> children) {
  TreeSegment s;
  s.start = start;
  s.end = end;
  s.parent = parent;
  s.children = std::move(children);
  return s;
}

// A trunk of three segments forking into two limbs, finalised into branches.
void buildForkedTree(TreeModel& model) {
  model.clear();
  model.appendSegment(segment(point(0, -0.2, 0), point(0, 0, 0), -1, {1}));
  model.appendSegment(segment(point(0, 0, 0), point(0, 1, 0), 0, {2}));
  model.appendSegment(segment(point(0, 1, 0), point(0, 2, 0), 1, {3, 5}));
  model.appendSegment(segment(point(0, 2, 0), point(0.2, 3, 0), 2, {4}));
  model.appendSegment(segment(point(0.2, 3, 0), point(0.3, 4, 0), 3, {}));
  model.appendSegment(segment(point(0, 2, 0), point(1, 2.6, 0), 2, {6}));
  model.appendSegment(segment(point(1, 2.6, 0), point(1.8, 3.0, 0), 5, {}));
  model.finalise();
}

std::vector<double> allRadii(const TreeModel& model) {
  std::vector<double> radii;
  for (const auto& branch : model.branches) radii.insert(radii.end(), branch->radii.begin(), branch->radii.end());
  return radii;
}

class PanelRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSettingsToStartValues();
    g_reconstructor.clear();
    g_reconstructor.model.clear();
    TreeModel::listBuilder = countListBuild;
    g_listBuilds = 0;
    g_reshapes.clear();
    g_fullScreens = 0;
    WindowOps ops;
    ops.reshape = recordReshape;
    ops.fullScreen = recordFullScreen;
    setWindowOps(ops);
  }
  void TearDown() override {
    TreeModel::listBuilder = nullptr;
    setWindowOps(WindowOps{});
    g_pointModelNames.clear();
    g_leafModelNames.clear();
    g_reconstructor.model.clear();
    resetSettingsToStartValues();
  }
};

struct ExpectedEntry {
  const char* name;
  PanelKind kind;
  PanelAccess access;
  const char* definition;
};

const ExpectedEntry kExpectedEntries[] = {
    {"Models", PanelKind::Enum, PanelAccess::Callback, " keyIncr='<' keyDecr='>' help='Choose point cloud model.' "},
    {"Voxel size", PanelKind::Double, PanelAccess::Callback,
     " label='Voxel size' min=0.01 max=0.5 step=0.01 help='Increase/decrease voxel size.' "},
    {"Constraint angle", PanelKind::Double, PanelAccess::Callback,
     " label='Constraint angle' min=10.0 max=180.0 step=1.0 help='Change the constraint angle.' "},
    {"Kill distance", PanelKind::Double, PanelAccess::Callback,
     " label='Kill distance' min=0.2 max=100.0 step=0.2 help='Change the kill distance.' "},
    {"Influence radius", PanelKind::Double, PanelAccess::Callback,
     " label='Raidus of influence' min=1.0 max=1000000.0 step=1.0 help='Change the radius of influence.' "},
    {"Speedup", PanelKind::Bool, PanelAccess::Variable, " label='Speedup SCA' key='0' help='Toggle speedup mode.' "},
    {"Reconstruct tree", PanelKind::Button, PanelAccess::Button, "label='Reconstruct tree'  key='b' "},
    {"Show points", PanelKind::Bool, PanelAccess::Variable,
     " label='Show points' key='1' help='Toggle point cloud mode.' "},
    {"Show axis", PanelKind::Bool, PanelAccess::Variable, " label='Show axis' key='2' help='Toggle coordinate mode.' "},
    {"Show voxel", PanelKind::Bool, PanelAccess::Variable, " label='Show voxel' key='3' help='Toggle volume mode.' "},
    {"Show graph", PanelKind::Bool, PanelAccess::Variable, " label='Show graph' key='4' help='Toggle graph mode.' "},
    {"Show tree", PanelKind::Bool, PanelAccess::Variable, " label='Show tree' key='5' help='Toggle tree mode.' "},
    {"Show leaves", PanelKind::Button, PanelAccess::Button, " label='Show leaves' key='0' help='Toggle leaf mode.' "},
    {"Reset scene", PanelKind::Button, PanelAccess::Button, "label='Reset scene'  key='r' "},
    {"Run time (secs)", PanelKind::Double, PanelAccess::ReadOnly, "help='Total elapsed time.' "},
    {"Twig remove ratio", PanelKind::Double, PanelAccess::Callback,
     " group='Tree control' min=0.0 max=1.0 step=0.01 help='Change the twig remove ratio.' "},
    {"Branch ratio", PanelKind::Double, PanelAccess::Callback,
     " group='Tree control' min=1.2 max=4.0 step=0.1 help='Change the branch ratio.' "},
    {"Branch thickness", PanelKind::Double, PanelAccess::Callback,
     " group='Tree control' step=0.002 help='Change the branch thickness.' "},
    {"Leaf density", PanelKind::Int32, PanelAccess::Callback,
     " group='Tree control' min=2 max=16 step=1 help='Change the leaf density.' "},
    {"Leaf influence", PanelKind::Int32, PanelAccess::Callback,
     " group='Tree control' min=2 max=40 step=1 help='Change the leaf influence area.' "},
    {"Leaf size", PanelKind::Double, PanelAccess::Callback,
     " group='Tree control' min=0.0 max=10.0 step=0.02 help='Change the leaf size. ' "},
    {"Leaf phyllotaxis", PanelKind::Int32, PanelAccess::Callback,
     " group='Tree control' min=1 max=3 step=1 help='Increase/decrease the type of leaf arrangement.' "},
    {"Leaf models", PanelKind::Enum, PanelAccess::Callback, " group='Tree control'  help='Choose leaf model.' "},
    {"Branch color", PanelKind::Color3f, PanelAccess::Callback,
     " group='Tree control' help='Change the branch color. ' "},
    {"Leaf color", PanelKind::Color3f, PanelAccess::Callback, " group='Tree control' help='Change the leaf color. ' "},
    {"Background color", PanelKind::Color3f, PanelAccess::Variable,
     " label='Background' help='Change the background color.' "},
    {"Export model", PanelKind::Button, PanelAccess::Button, "label='Export tree model'"},
    {"Rotate anim", PanelKind::Bool, PanelAccess::Variable,
     " label='Rotate anim' key=F7 help='Toggle rotate animation mode.'"},
    {"Fullscreen", PanelKind::Bool32, PanelAccess::Callback,
     " label='Fullscreen' key=F10 help='Toggle fullscreen mode.'"},
};

}  // namespace

// ---- Table and definitions ----

TEST_F(PanelRegistry, EveryEntryInOrderWithItsKindAndExactDefinition) {
  const std::vector<PanelEntry>& entries = panelEntries();
  ASSERT_EQ(entries.size(), std::size(kExpectedEntries));
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(kExpectedEntries[i].name);
    EXPECT_EQ(entries[i].name, kExpectedEntries[i].name);
    EXPECT_EQ(entries[i].kind, kExpectedEntries[i].kind);
    EXPECT_EQ(entries[i].access, kExpectedEntries[i].access);
    EXPECT_STREQ(entries[i].definition, kExpectedEntries[i].definition);
  }
  EXPECT_STREQ(findPanelEntry("Models")->enumName, "Tree Point Clouds");
  EXPECT_STREQ(findPanelEntry("Leaf models")->enumName, "Leaf models");
  EXPECT_EQ(findPanelEntry("No such entry"), nullptr);
}

TEST_F(PanelRegistry, OptionsAreParsedFromTheDefinitions) {
  const PanelOptions& voxel = findPanelEntry("Voxel size")->options;
  EXPECT_EQ(voxel.label, "Voxel size");
  EXPECT_TRUE(voxel.hasMin && voxel.hasMax && voxel.hasStep);
  EXPECT_DOUBLE_EQ(voxel.min, 0.01);
  EXPECT_DOUBLE_EQ(voxel.max, 0.5);
  EXPECT_DOUBLE_EQ(voxel.step, 0.01);
  EXPECT_EQ(voxel.decimals, 2);
  EXPECT_EQ(voxel.help, "Increase/decrease voxel size.");
  EXPECT_EQ(voxel.group, "");

  const PanelEntry& influence = *findPanelEntry("Influence radius");
  EXPECT_EQ(influence.displayLabel(), "Raidus of influence");
  EXPECT_DOUBLE_EQ(influence.options.max, 1000000.0);

  const PanelOptions& models = findPanelEntry("Models")->options;
  EXPECT_EQ(models.keyIncr, "<");
  EXPECT_EQ(models.keyDecr, ">");
  EXPECT_FALSE(models.hasMin || models.hasMax || models.hasStep);
  EXPECT_EQ(findPanelEntry("Models")->displayLabel(), "Models");  // no label: the name

  const PanelOptions& thickness = findPanelEntry("Branch thickness")->options;
  EXPECT_EQ(thickness.group, "Tree control");
  EXPECT_FALSE(thickness.hasMin || thickness.hasMax);
  EXPECT_DOUBLE_EQ(thickness.step, 0.002);
  EXPECT_EQ(thickness.decimals, 3);

  EXPECT_EQ(findPanelEntry("Leaf size")->options.help, "Change the leaf size. ");
  EXPECT_EQ(findPanelEntry("Reconstruct tree")->options.key, "b");
  EXPECT_EQ(findPanelEntry("Rotate anim")->options.key, "F7");
  EXPECT_EQ(findPanelEntry("Fullscreen")->options.key, "F10");
  EXPECT_EQ(findPanelEntry("Export model")->displayLabel(), "Export tree model");
  EXPECT_EQ(findPanelEntry("Background color")->displayLabel(), "Background");

  int grouped = 0;
  for (const PanelEntry& e : panelEntries()) grouped += e.options.group == "Tree control";
  EXPECT_EQ(grouped, 10);
}

TEST(DefinitionParser, SplitsPairsQuotedValuesAndWords) {
  ParsedDefinition def;
  ASSERT_TRUE(parseDefinition(" Frondarel position='16 16' alpha=192 text=light help=\"a b\" k=`x y` ", def));
  ASSERT_EQ(def.words, std::vector<std::string>{"Frondarel"});
  EXPECT_EQ(def.value("position"), "16 16");
  EXPECT_EQ(def.value("alpha"), "192");
  EXPECT_EQ(def.value("text"), "light");
  EXPECT_EQ(def.value("help"), "a b");
  EXPECT_EQ(def.value("k"), "x y");
  EXPECT_FALSE(def.has("size"));
  EXPECT_EQ(def.value("size", "none"), "none");

  ParsedDefinition empty;
  EXPECT_TRUE(parseDefinition("", empty));
  EXPECT_TRUE(empty.pairs.empty() && empty.words.empty());
  EXPECT_TRUE(parseDefinition("key=", empty));
  EXPECT_EQ(empty.value("key", "x"), "");

  std::string error;
  ParsedDefinition bad;
  EXPECT_FALSE(parseDefinition(" label='open ", bad, &error));
  EXPECT_NE(error.find("unterminated"), std::string::npos);
  EXPECT_FALSE(parseDefinition(" =3 ", bad, &error));
}

TEST(PanelBarDefinition, TheThreeDefinitionsAndTheirValues) {
  const PanelBar& bar = panelBar();
  EXPECT_EQ(bar.name, "Frondarel");
  ASSERT_EQ(bar.definitions.size(), 3u);
  EXPECT_EQ(bar.definitions[0], " GLOBAL help='Frondarel Ver 1.0' ");
  EXPECT_EQ(bar.definitions[1], " Frondarel position='16 16' size='360 480' color='96 64 0' alpha=192 text=light");
  EXPECT_EQ(bar.definitions[2], " Frondarel valueswidth=fit ");
  EXPECT_EQ(bar.globalHelp, "Frondarel Ver 1.0");
  EXPECT_EQ(bar.x, 16);
  EXPECT_EQ(bar.y, 16);
  EXPECT_EQ(bar.width, 360);
  EXPECT_EQ(bar.height, 480);
  EXPECT_EQ(bar.color[0], 96);
  EXPECT_EQ(bar.color[1], 64);
  EXPECT_EQ(bar.color[2], 0);
  EXPECT_EQ(bar.alpha, 192);
  EXPECT_TRUE(bar.lightText);
  EXPECT_TRUE(bar.valuesWidthFit);
}

// ---- Values: units, ranges, steps ----

TEST_F(PanelRegistry, KillDistanceAndInfluenceRadiusAreShownInStepUnits) {
  double shown = 0.0;
  ASSERT_TRUE(panelGetNumber("Kill distance", &shown));
  EXPECT_DOUBLE_EQ(shown, 2.0);
  ASSERT_TRUE(panelSetNumber("Kill distance", 3.0));
  EXPECT_DOUBLE_EQ(g_dKillDistance, 0.6);
  ASSERT_TRUE(panelGetNumber("Kill distance", &shown));
  EXPECT_DOUBLE_EQ(shown, 3.0);

  ASSERT_TRUE(panelSetNumber("Influence radius", 25.0));
  EXPECT_DOUBLE_EQ(g_dInfluenceRadius, 5.0);
  ASSERT_TRUE(panelGetNumber("Influence radius", &shown));
  EXPECT_DOUBLE_EQ(shown, 25.0);

  // Getters read the global every time.
  g_dKillDistance = 1.0;
  ASSERT_TRUE(panelGetNumber("Kill distance", &shown));
  EXPECT_DOUBLE_EQ(shown, 5.0);
}

TEST_F(PanelRegistry, EditsAreClampedAndSnappedToTheStepGrid) {
  ASSERT_TRUE(panelSetNumber("Kill distance", 0.05));
  EXPECT_DOUBLE_EQ(g_dKillDistance, 0.2 * 0.2);
  ASSERT_TRUE(panelSetNumber("Kill distance", 500.0));
  EXPECT_DOUBLE_EQ(g_dKillDistance, 100.0 * 0.2);
  ASSERT_TRUE(panelSetNumber("Kill distance", 3.07));
  EXPECT_DOUBLE_EQ(g_dKillDistance, 3.0 * 0.2);
  ASSERT_TRUE(panelSetNumber("Constraint angle", 45.4));
  EXPECT_EQ(g_dConstraintAngle, 45.0);
  ASSERT_TRUE(panelSetNumber("Leaf density", 40.0));
  EXPECT_EQ(g_nLeafDensity, 16);
  ASSERT_TRUE(panelSetNumber("Leaf phyllotaxis", -3.0));
  EXPECT_EQ(g_nLeafPhyllotaxis, 1);
  ASSERT_TRUE(panelSetNumber("Twig remove ratio", 0.123));
  EXPECT_EQ(g_dTwigRemoveRatio, 0.12);
  // Bad input changes nothing.
  EXPECT_FALSE(panelSetNumber("Twig remove ratio", std::nan("")));
  EXPECT_FALSE(panelSetNumber("Twig remove ratio", INFINITY));
  EXPECT_EQ(g_dTwigRemoveRatio, 0.12);
  // Regression: a negative thickness turned the branch tubes inside out.
  ASSERT_TRUE(panelSetNumber("Branch thickness", -0.5));
  EXPECT_EQ(g_dBranchThickness, 0.0);
}

TEST_F(PanelRegistry, StepButtonsMoveToTheNeighbouringGridValue) {
  const PanelEntry& leafSize = *findPanelEntry("Leaf size");
  // 0.13 (set by a model switch) lies between grid points 0.12 and 0.14.
  EXPECT_EQ(steppedPanelValue(leafSize, 0.13, +1), 0.14);
  EXPECT_EQ(steppedPanelValue(leafSize, 0.13, -1), 0.12);
  EXPECT_EQ(steppedPanelValue(leafSize, 0.14, +1), 0.16);
  EXPECT_EQ(steppedPanelValue(leafSize, 0.0, -1), 0.0);
  EXPECT_EQ(steppedPanelValue(leafSize, 10.0, +1), 10.0);
  const PanelEntry& voxel = *findPanelEntry("Voxel size");
  EXPECT_EQ(steppedPanelValue(voxel, 0.18, +1), 0.19);
  EXPECT_EQ(steppedPanelValue(voxel, 0.18, -1), 0.17);
  // Walking the whole range lands on every grid value exactly.
  double v = 0.01;
  for (int i = 1; i <= 49; ++i) {
    v = steppedPanelValue(voxel, v, +1);
    ASSERT_EQ(v, std::round((0.01 + i * 0.01) * 100.0) / 100.0) << i;
  }
  EXPECT_EQ(steppedPanelValue(voxel, v, +1), 0.5);
}

TEST_F(PanelRegistry, FormatsWithTheDecimalsOfTheStep) {
  EXPECT_EQ(formatPanelValue(*findPanelEntry("Voxel size"), 0.18), "0.18");
  EXPECT_EQ(formatPanelValue(*findPanelEntry("Branch thickness"), 0.04), "0.040");
  EXPECT_EQ(formatPanelValue(*findPanelEntry("Constraint angle"), 90.0), "90.0");
  EXPECT_EQ(formatPanelValue(*findPanelEntry("Leaf density"), 4.0), "4");
  EXPECT_EQ(formatPanelValue(*findPanelEntry("Run time (secs)"), 1.5), "1.500");
}

// ---- Change effects ----

TEST_F(PanelRegistry, SimpleEntriesStoreTheirGlobal) {
  struct Case {
    const char* name;
    bool* flag;
  } flags[] = {{"Speedup", &g_bSpeedup},       {"Show points", &g_bShowPoints}, {"Show axis", &g_bShowAxis},
               {"Show voxel", &g_bShowVoxel},  {"Show graph", &g_bShowGraph},   {"Show tree", &g_bShowTree},
               {"Rotate anim", &g_bRotateAnim}};
  for (const Case& c : flags) {
    for (bool value : {true, false, true}) {
      ASSERT_TRUE(panelSetNumber(c.name, value ? 1.0 : 0.0)) << c.name;
      EXPECT_EQ(*c.flag, value) << c.name;
      double shown = -1;
      ASSERT_TRUE(panelGetNumber(c.name, &shown));
      EXPECT_EQ(shown, value ? 1.0 : 0.0);
    }
  }
  ASSERT_TRUE(panelSetNumber("Constraint angle", 120.0));
  EXPECT_EQ(g_dConstraintAngle, 120.0);
  EXPECT_EQ(g_listBuilds, 0);

  g_dRunTime = 2.5;
  double shown = 0;
  ASSERT_TRUE(panelGetNumber("Run time (secs)", &shown));
  EXPECT_EQ(shown, 2.5);
  EXPECT_FALSE(panelSetNumber("Run time (secs)", 1.0));
  EXPECT_EQ(g_dRunTime, 2.5);
  EXPECT_FALSE(panelSetNumber("Branch color", 1.0));
  EXPECT_FALSE(panelPressButton("Show points"));
}

TEST_F(PanelRegistry, VoxelSizeRebuildsTheGridAndShowsOnlyThePoints) {
  ASSERT_TRUE(g_pointCloud.parseTextCloud("tree.txt", syntheticTreeText(30)));
  g_voxelVolume.build(g_pointCloud, g_dVoxelSize);
  buildForkedTree(g_reconstructor.model);
  const size_t segments = g_reconstructor.model.segments.size();
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
  // The skeleton and tree stay as they were.
  EXPECT_EQ(g_reconstructor.model.segments.size(), segments);
  g_pointCloud.reset();
  g_voxelVolume.reset();
}

TEST_F(PanelRegistry, BranchParametersRebuildTheTree) {
  buildForkedTree(g_reconstructor.model);
  const std::vector<double> before = allRadii(g_reconstructor.model);
  ASSERT_FALSE(before.empty());

  g_listBuilds = 0;
  ASSERT_TRUE(panelSetNumber("Branch ratio", 3.0));
  EXPECT_EQ(g_dBranchRatio, 3.0);
  const std::vector<double> afterRatio = allRadii(g_reconstructor.model);
  EXPECT_NE(afterRatio, before);
  EXPECT_EQ(g_listBuilds, 1);

  ASSERT_TRUE(panelSetNumber("Branch thickness", 0.08));
  EXPECT_EQ(g_dBranchThickness, 0.08);
  const std::vector<double> afterThickness = allRadii(g_reconstructor.model);
  ASSERT_EQ(afterThickness.size(), afterRatio.size());
  for (size_t i = 0; i < afterRatio.size(); ++i) EXPECT_GT(afterThickness[i], afterRatio[i]) << i;
  EXPECT_EQ(g_listBuilds, 2);

  for (const char* name : {"Leaf density", "Leaf influence"}) {
    ASSERT_TRUE(panelSetNumber(name, 6.0));
  }
  ASSERT_TRUE(panelSetNumber("Leaf size", 0.3));
  EXPECT_EQ(g_nLeafDensity, 6);
  EXPECT_EQ(g_nLeafInfluence, 6);
  EXPECT_EQ(g_dLeafSize, 0.3);
  EXPECT_EQ(g_listBuilds, 5);

  const bool leaves = g_bShowLeaves;
  ASSERT_TRUE(panelPressButton("Show leaves"));
  EXPECT_EQ(g_bShowLeaves, !leaves);
  EXPECT_EQ(g_listBuilds, 6);

  // The twig ratio is only stored; it takes effect at the next build.
  const std::vector<double> radii = allRadii(g_reconstructor.model);
  ASSERT_TRUE(panelSetNumber("Twig remove ratio", 0.5));
  EXPECT_EQ(g_dTwigRemoveRatio, 0.5);
  EXPECT_EQ(allRadii(g_reconstructor.model), radii);
  EXPECT_EQ(g_listBuilds, 6);
}

TEST_F(PanelRegistry, DisplayParametersRedrawOnlyABuiltTree) {
  const float red[3] = {1.0f, 0.0f, 0.0f};
  ASSERT_TRUE(panelSetNumber("Leaf phyllotaxis", 2.0));
  ASSERT_TRUE(panelSetColor("Branch color", red));
  EXPECT_EQ(g_nLeafPhyllotaxis, 2);
  EXPECT_EQ(g_fBranchColor[0], 1.0f);
  EXPECT_EQ(g_listBuilds, 0);  // nothing built yet

  buildForkedTree(g_reconstructor.model);
  g_listBuilds = 0;
  ASSERT_TRUE(panelSetNumber("Leaf phyllotaxis", 3.0));
  const float odd[3] = {0.25f, 2.0f, -1.0f};
  ASSERT_TRUE(panelSetColor("Leaf color", odd));
  EXPECT_EQ(g_fLeafColor[0], 0.25f);
  EXPECT_EQ(g_fLeafColor[1], 1.0f);  // colours are clamped to 0 ... 1
  EXPECT_EQ(g_fLeafColor[2], 0.0f);
  ASSERT_TRUE(panelSetColor("Branch color", red));
  EXPECT_EQ(g_listBuilds, 3);

  ASSERT_TRUE(panelSetColor("Background color", red));
  float shown[3];
  ASSERT_TRUE(panelGetColor("Background color", shown));
  EXPECT_EQ(shown[0], 1.0f);
  EXPECT_EQ(shown[1], 0.0f);
  EXPECT_EQ(g_fBackgroundColor[2], 0.0f);
  EXPECT_EQ(g_listBuilds, 3);  // the background needs no rebuild
  const float bad[3] = {NAN, 0.0f, 0.0f};
  EXPECT_FALSE(panelSetColor("Background color", bad));
  EXPECT_EQ(g_fBackgroundColor[0], 1.0f);
}

TEST_F(PanelRegistry, ModelsSwitchTheModelWithTheSettingsReset) {
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
  EXPECT_EQ(g_nCurrSelected, 1);
  EXPECT_EQ(g_nCurrLeafModel, 5);
  EXPECT_EQ(g_dVoxelSize, 0.2);
  EXPECT_EQ(g_dLeafSize, 0.13);
  EXPECT_TRUE(g_pointCloud.loaded);
  double shown = -1;
  ASSERT_TRUE(panelGetNumber("Models", &shown));
  EXPECT_EQ(shown, 1.0);

  // Keys < and > step through the list and stop at its ends.
  StdoutCapture keys;
  EXPECT_TRUE(panelApplyShortcut("<"));
  EXPECT_EQ(g_nCurrSelected, 1);
  EXPECT_TRUE(panelApplyShortcut(">"));
  EXPECT_EQ(g_nCurrSelected, 0);
  EXPECT_TRUE(panelApplyShortcut(">"));
  EXPECT_EQ(g_nCurrSelected, 0);
  const std::string keyText = keys.text();
  EXPECT_NE(keyText.find("g_nCurrSelected=0, g_nCurrLeafModel=1"), std::string::npos) << keyText;
  EXPECT_EQ(keyText.find("g_nCurrSelected=1"), std::string::npos) << keyText;

  StdoutCapture leaf;
  ASSERT_TRUE(panelSetNumber("Leaf models", 3.0));
  leaf.text();
  EXPECT_EQ(g_nCurrLeafModel, 3);

  // Exporting a built tree writes the point file's name with the extension txt.
  buildForkedTree(g_reconstructor.model);
  StdoutCapture exported;
  ASSERT_TRUE(panelPressButton("Export model"));
  exported.text();
  EXPECT_TRUE(fileExists(dir.file("data/tree_model/a.txt")));
  g_pointCloud.reset();
  g_voxelVolume.reset();
}

TEST_F(PanelRegistry, EnumerationsWithoutFilesIgnoreEdits) {
  g_pointModelNames.clear();
  g_leafModelNames.clear();
  StdoutCapture out;
  EXPECT_FALSE(panelSetNumber("Models", 0.0));
  EXPECT_FALSE(panelSetNumber("Leaf models", 2.0));
  EXPECT_TRUE(panelApplyShortcut("<"));  // the key is the panel's, but there is nothing to step to
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(g_nCurrSelected, 0);
  EXPECT_EQ(g_nCurrLeafModel, 0);
}

// ---- Shortcuts ----

TEST_F(PanelRegistry, ShortcutsToggleFlagsAndPressButtons) {
  const char* keys[] = {"1", "2", "3", "4", "5"};
  bool* flags[] = {&g_bShowPoints, &g_bShowAxis, &g_bShowVoxel, &g_bShowGraph, &g_bShowTree};
  for (int i = 0; i < 5; ++i) {
    const bool before = *flags[i];
    EXPECT_TRUE(panelApplyShortcut(keys[i]));
    EXPECT_EQ(*flags[i], !before) << keys[i];
  }
  // '0' belongs to "Show leaves"; "Speedup" keeps its value.
  const bool speedup = g_bSpeedup, leaves = g_bShowLeaves;
  EXPECT_TRUE(panelApplyShortcut("0"));
  EXPECT_EQ(g_bShowLeaves, !leaves);
  EXPECT_EQ(g_bSpeedup, speedup);
  EXPECT_EQ(panelShortcutOwner("0")->name, "Show leaves");

  g_fRotX = 33.0f;
  g_dPointOffsetX = 4.0;
  EXPECT_TRUE(panelApplyShortcut("r"));
  EXPECT_EQ(g_fRotX, 10.0f);
  EXPECT_EQ(g_dPointOffsetX, 0.0);

  EXPECT_TRUE(panelApplyShortcut("F7"));
  EXPECT_TRUE(g_bRotateAnim);
  EXPECT_TRUE(panelApplyShortcut("F7"));
  EXPECT_FALSE(g_bRotateAnim);

  EXPECT_FALSE(panelApplyShortcut("a"));
  EXPECT_FALSE(panelApplyShortcut("6"));
  EXPECT_FALSE(panelApplyShortcut(""));
}

TEST_F(PanelRegistry, TooltipsNameTheOwnerOfTheSharedKey) {
  const std::string leaves = panelTooltip(*findPanelEntry("Show leaves"));
  EXPECT_EQ(leaves.find("Toggle leaf mode."), 0u);
  EXPECT_NE(leaves.find("Key 0 toggles this entry, not 'Speedup SCA'."), std::string::npos) << leaves;
  const std::string speedup = panelTooltip(*findPanelEntry("Speedup"));
  EXPECT_EQ(speedup.find("Toggle speedup mode."), 0u);
  EXPECT_NE(speedup.find("'Show leaves'"), std::string::npos) << speedup;
  EXPECT_NE(panelTooltip(*findPanelEntry("Show points")).find("key 1"), std::string::npos);
  EXPECT_EQ(panelTooltip(*findPanelEntry("Run time (secs)")), "Total elapsed time.");
  // The stored definitions stay as they are.
  EXPECT_STREQ(findPanelEntry("Show leaves")->definition, " label='Show leaves' key='0' help='Toggle leaf mode.' ");
}

TEST_F(PanelRegistry, FullscreenEntryAndF10ShareOneSavedSize) {
  g_nWindowWidth = 1366;
  g_nWindowHeight = 768;
  ASSERT_TRUE(panelSetNumber("Fullscreen", 1.0));
  EXPECT_TRUE(g_bFullscreen);
  EXPECT_EQ(g_fullScreens, 1);
  ASSERT_TRUE(panelSetNumber("Fullscreen", 1.0));  // already on: no second switch
  EXPECT_EQ(g_fullScreens, 1);
  g_nWindowWidth = 1920;  // the full-screen size reported by the reshape
  g_nWindowHeight = 1080;
  EXPECT_TRUE(panelApplyShortcut("F10"));
  EXPECT_FALSE(g_bFullscreen);
  ASSERT_EQ(g_reshapes.size(), 1u);
  EXPECT_EQ(g_reshapes[0], std::make_pair(1366, 768));
}
