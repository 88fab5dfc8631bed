// The tree export: the format's worked example byte for byte at several scales, pruned
// branches, and the files it refuses to write.

#include "tree_test_util.h"

namespace {

// The example skeleton: root from (0, -0.2, 0) to the origin, one tip up to (0, 0.2, 0).
void buildExample(TreeModel& model) {
  model.appendSegment(rootSegment(Vec3(0, 0, 0), {1}));
  model.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 0.2, 0), 0));
  model.rebuild();
}

using ExportTest = TreeTest;

}  // namespace

// Scale divides positions and radii; "%g" switches to exponent notation outside 1e-4..1e6.
// Regression: scales of 0 or not finite wrote infinities; now nothing is written.
TEST_F(ExportTest, WritesTheExampleFileByteForByteAtEveryScale) {
  buildExample(model);
  const std::pair<double, std::string> cases[] = {
      {1.0, "1\n3 0 -0.2 0 0.04 0 0 0 0.04 0 0.2 0 0.04 \n"},
      {3.0, "1\n3 0 -0.0666667 0 0.0133333 0 0 0 0.0133333 0 0.0666667 0 0.0133333 \n"},
      {1e4, "1\n3 0 -2e-05 0 4e-06 0 0 0 4e-06 0 2e-05 0 4e-06 \n"},
      {0.0, ""},
      {std::nan(""), ""}};
  for (const auto& [scale, expected] : cases) {
    TempDir dir;
    StdoutCapture out;
    dir.write("oak01.txt", std::string(5000, 'x'));  // an older export is replaced
    EXPECT_EQ(model.exportTree(dir.file("oak01.ply"), scale), !expected.empty()) << scale;
    EXPECT_EQ(readFile(dir.file("oak01.txt")), expected.empty() ? std::string(5000, 'x') : expected);
    EXPECT_EQ(out.text().find("oak01.txt") != std::string::npos, expected.empty());
  }
}

// Branches shorter than the twig ratio (0.02) times the trunk length are pruned: counted on the
// first line, not written. Trunk 10 long with side branches 0.19, 0.25 and 0 long at its middle;
// at ratio 0 even the branch of length 0 is kept.
TEST_F(ExportTest, PrunedBranchesAreCountedButNotWritten) {
  model.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 5, 0), -1, {1, 2, 3, 4}));
  for (const Vec3& end : {Vec3(0, 10, 0), Vec3(0.19, 5, 0), Vec3(0, 5, 0.25), Vec3(0, 5, 0)})
    model.appendSegment(makeSegment(Vec3(0, 5, 0), end, 0));
  const std::string trunk = "4\n3 0 0 0 0.08 0 5 0 0.04 0 10 0 0.04 \n", side = "2 0 5 0 0.04 0 5 0.25 0.04 \n";
  TempDir dir;
  for (double ratio : {g_dTwigRemoveRatio, 0.0}) {
    g_dTwigRemoveRatio = ratio;
    model.rebuild();
    ASSERT_TRUE(model.exportTree(dir.file("m.xyz"), 1.0));
    EXPECT_EQ(readFile(dir.file("m.txt")),
              ratio > 0 ? trunk + side : trunk + "2 0 5 0 0.04 0.19 5 0 0.04 \n" + side + "2 0 5 0 0.04 0 5 0 0.04 \n");
  }
}

// Nothing is written for a model that is not built; a missing folder is created; a path that
// cannot be made is reported.
TEST_F(ExportTest, RefusesAnUnbuiltModelAndReportsAnUnwritablePath) {
  TempDir dir;
  StdoutCapture out;
  EXPECT_FALSE(model.exportTree(dir.file("a.ply"), 1.0));
  EXPECT_FALSE(fileExists(dir.file("a.txt")));
  buildExample(model);
  ASSERT_TRUE(model.exportTree(dir.file("data/tree_model/oak.ply"), 1.0));
  EXPECT_TRUE(fileExists(dir.file("data/tree_model/oak.txt")));
  const std::string blocker = dir.write("blocker", "x");
  EXPECT_FALSE(model.exportTree(blocker + "/sub/oak.ply", 1.0));
  EXPECT_NE(out.text().find("ERROR: unable to write tree model [" + blocker + "/sub/oak.txt]!\n"), std::string::npos);
}
