#include <gtest/gtest.h>

#include <filesystem>

#include "app/settings.h"
#include "support/test_support.h"
#include "tree/tree_model.h"
#include "tree_test_util.h"

namespace {

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override { resetSettingsToStartValues(); }

  // The example skeleton: root from (0, -0.2, 0) to the origin, one tip up to (0, 0.2, 0).
  void buildExample() {
    model.appendSegment(makeSegment(Vec3(0, -0.2, 0), Vec3(0, 0, 0), -1, {1}));
    model.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 0.2, 0), 0));
    model.rebuild();
  }

  TempDir dir;
  TreeModel model;
};

}  // namespace

TEST_F(ExportTest, WritesTheExampleFileByteForByte) {
  buildExample();
  std::string model_file = dir.file("oak01.ply");
  ASSERT_TRUE(model.exportTree(model_file, 1.0));
  EXPECT_EQ(readFile(dir.file("oak01.txt")), "1\n3 0 -0.2 0 0.04 0 0 0 0.04 0 0.2 0 0.04 \n");
  EXPECT_FALSE(fileExists(model_file));

  // Scale divides positions and radii; "%g" switches to exponent notation outside 1e-4..1e6.
  ASSERT_TRUE(model.exportTree(dir.file("tree.pcd"), 1e-6));
  EXPECT_EQ(readFile(dir.file("tree.txt")), "1\n3 0 -200000 0 40000 0 0 0 40000 0 200000 0 40000 \n");
  ASSERT_TRUE(model.exportTree(dir.file("tree.pcd"), 3.0));
  EXPECT_EQ(readFile(dir.file("tree.txt")), "1\n3 0 -0.0666667 0 0.0133333 0 0 0 0.0133333 0 0.0666667 0 0.0133333 \n");
  ASSERT_TRUE(model.exportTree(dir.file("tree.pcd"), 1e4));
  EXPECT_EQ(readFile(dir.file("tree.txt")), "1\n3 0 -2e-05 0 4e-06 0 0 0 4e-06 0 2e-05 0 4e-06 \n");
}

TEST_F(ExportTest, PrunedBranchesAreCountedButNotWritten) {
  model.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 5, 0), -1, {1, 2, 3}));
  model.appendSegment(makeSegment(Vec3(0, 5, 0), Vec3(0, 10, 0), 0));
  model.appendSegment(makeSegment(Vec3(0, 5, 0), Vec3(0.1, 5, 0), 0));
  model.appendSegment(makeSegment(Vec3(0, 5, 0), Vec3(0, 5, 0.15), 0));
  model.rebuild();
  ASSERT_TRUE(model.exportTree(dir.file("m.xyz"), 1.0));
  EXPECT_EQ(readFile(dir.file("m.txt")), "3\n3 0 0 0 0.069282 0 5 0 0.04 0 10 0 0.04 \n");
}

TEST_F(ExportTest, OverwritesAndRefusesAnUnbuiltModel) {
  std::string path = dir.file("a.ply");
  {
    StdoutCapture out;
    EXPECT_FALSE(model.exportTree(path, 1.0));
    EXPECT_NE(out.text().find("a.txt"), std::string::npos);
  }
  EXPECT_FALSE(fileExists(dir.file("a.txt")));

  dir.write("a.txt", std::string(5000, 'x'));
  buildExample();
  ASSERT_TRUE(model.exportTree(path, 1.0));
  ASSERT_TRUE(model.exportTree(path, 1.0));
  EXPECT_EQ(readFile(dir.file("a.txt")), "1\n3 0 -0.2 0 0.04 0 0 0 0.04 0 0.2 0 0.04 \n");
}

TEST_F(ExportTest, CreatesAMissingFolderAndReportsAnUnwritablePath) {
  buildExample();
  std::string nested = dir.path() + "/data/tree_model/oak.ply";
  ASSERT_TRUE(model.exportTree(nested, 1.0));
  EXPECT_TRUE(fileExists(dir.path() + "/data/tree_model/oak.txt"));

  // A regular file where a folder should be: neither the folder nor the file can be made.
  std::string blocker = dir.write("blocker", "x");
  std::string bad = blocker + "/sub/oak.ply";
  StdoutCapture out;
  EXPECT_FALSE(model.exportTree(bad, 1.0));
  EXPECT_EQ(out.text(), "ERROR: unable to write tree model [" + blocker + "/sub/oak.txt]!\n");
  EXPECT_EQ(readFile(blocker), "x");
}

TEST_F(ExportTest, RejectsScalesThatWouldWriteInfinities) {
  buildExample();
  StdoutCapture out;
  EXPECT_FALSE(model.exportTree(dir.file("s.ply"), 0.0));
  EXPECT_FALSE(fileExists(dir.file("s.txt")));
  EXPECT_NE(out.text().find("s.txt"), std::string::npos);
}
