#include "tree_test_util.h"

namespace {

const char* const kExample = "1\n3 0 -0.2 0 0.04 0 0 0 0.04 0 0.2 0 0.04 \n";

class ExportTest : public TreeTest {
 protected:
  // The example skeleton: root from (0, -0.2, 0) to the origin, one tip up to (0, 0.2, 0).
  void buildExample() {
    model.appendSegment(rootSegment(Vec3(0, 0, 0), {1}));
    model.appendSegment(makeSegment(Vec3(0, 0, 0), Vec3(0, 0.2, 0), 0));
    model.rebuild();
  }
  TempDir dir;
};

}  // namespace

TEST_F(ExportTest, WritesTheExampleFileByteForByteAtEveryScale) {
  buildExample();
  // Scale divides positions and radii; "%g" switches to exponent notation outside 1e-4..1e6.
  // Regression: scales of 0 or not finite used to write infinities; now nothing is written.
  const std::pair<double, std::string> cases[] = {
      {1.0, kExample},
      {1e-6, "1\n3 0 -200000 0 40000 0 0 0 40000 0 200000 0 40000 \n"},
      {3.0, "1\n3 0 -0.0666667 0 0.0133333 0 0 0 0.0133333 0 0.0666667 0 0.0133333 \n"},
      {1e4, "1\n3 0 -2e-05 0 4e-06 0 0 0 4e-06 0 2e-05 0 4e-06 \n"},
      {0.0, ""},
      {std::nan(""), ""}};
  for (const auto& [scale, expected] : cases) {
    TempDir fresh;
    StdoutCapture out;
    EXPECT_EQ(model.exportTree(fresh.file("oak01.ply"), scale), !expected.empty()) << scale;
    EXPECT_EQ(readFile(fresh.file("oak01.txt")), expected);
    EXPECT_EQ(fileExists(fresh.file("oak01.txt")), !expected.empty());
    EXPECT_EQ(out.text().find("oak01.txt") != std::string::npos, expected.empty());
    EXPECT_FALSE(fileExists(fresh.file("oak01.ply")));
  }
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
  EXPECT_EQ(readFile(dir.file("a.txt")), kExample);
}

TEST_F(ExportTest, CreatesAMissingFolderAndReportsAnUnwritablePath) {
  buildExample();
  ASSERT_TRUE(model.exportTree(dir.path() + "/data/tree_model/oak.ply", 1.0));
  EXPECT_EQ(readFile(dir.path() + "/data/tree_model/oak.txt"), kExample);
  // A regular file where a folder should be: neither the folder nor the file can be made.
  std::string blocker = dir.write("blocker", "x");
  StdoutCapture out;
  EXPECT_FALSE(model.exportTree(blocker + "/sub/oak.ply", 1.0));
  EXPECT_EQ(out.text(), "ERROR: unable to write tree model [" + blocker +
                            "/sub/oak.txt]!\nERROR: cannot create a temporary file for " + blocker +
                            "/sub/oak.txt: Not a directory\n");
  EXPECT_EQ(readFile(blocker), "x");
}
