#include <gtest/gtest.h>

#include <dirent.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/settings.h"
#include "support/test_support.h"
#include "tree/tree_model.h"

namespace {

// The example leaf: two stem points, three vertices, one triangle, scale 0.5.
const char* kExampleLeaf =
    "60 40 20\n"
    "40 160 50\n"
    "0.3 0.6 0.2\n"
    "0.5\n"
    "2 3 1\n"
    "0 0 0 0 0.04\n"
    "1 0 1 0 0.02\n"
    "0 0 1 0 0.5 0\n"
    "1 -0.5 2 0 0 1\n"
    "2 0.5 2 0 1 1\n"
    "0 0 1 2\n";

void expectVec(const Vec3& v, double x, double y, double z) {
  EXPECT_DOUBLE_EQ(v.x, x);
  EXPECT_DOUBLE_EQ(v.y, y);
  EXPECT_DOUBLE_EQ(v.z, z);
  EXPECT_EQ(v.status, kVecValid);
}

// Everything a load may change, for comparing before and after a rejected file.
struct LeafSnapshot {
  float branchColor[3], leafColor[3];
  double stemColor[3];
  std::vector<double> numbers;
  std::vector<int> triangles;
  unsigned int leafShapeList, treeList;

  explicit LeafSnapshot(const TreeModel& m) {
    for (int k = 0; k < 3; ++k) {
      branchColor[k] = g_fBranchColor[k];
      leafColor[k] = g_fLeafColor[k];
    }
    stemColor[0] = m.stemColor.x;
    stemColor[1] = m.stemColor.y;
    stemColor[2] = m.stemColor.z;
    auto put = [&](const Vec3& v) { numbers.insert(numbers.end(), {v.x, v.y, v.z, double(v.status)}); };
    numbers.push_back(m.stemPoints.size());
    for (const Vec3& v : m.stemPoints) put(v);
    numbers.push_back(m.stemWidths.size());
    numbers.insert(numbers.end(), m.stemWidths.begin(), m.stemWidths.end());
    numbers.push_back(m.leafVertices.size());
    for (const Vec3& v : m.leafVertices) put(v);
    numbers.push_back(m.leafTexCoords.size());
    numbers.insert(numbers.end(), m.leafTexCoords.begin(), m.leafTexCoords.end());
    numbers.push_back(m.leafNormals.size());
    for (const Vec3& v : m.leafNormals) put(v);
    triangles = m.leafTriangles;
    leafShapeList = m.leafShapeList;
    treeList = m.treeList;
  }

  bool operator==(const LeafSnapshot& o) const {
    for (int k = 0; k < 3; ++k)
      if (branchColor[k] != o.branchColor[k] || leafColor[k] != o.leafColor[k] || stemColor[k] != o.stemColor[k])
        return false;
    return numbers == o.numbers && triangles == o.triangles && leafShapeList == o.leafShapeList &&
           treeList == o.treeList;
  }
};

class LeafModelFile : public testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override { resetSettingsToStartValues(); }

  TempDir dir;
  TreeModel model;
};

}  // namespace

TEST_F(LeafModelFile, ExampleFileValues) {
  std::string reason;
  ASSERT_TRUE(model.loadLeafModel(dir.write("example.txt", kExampleLeaf), &reason)) << reason;
  EXPECT_EQ(g_fBranchColor[0], 60.0f / 255.0f);
  EXPECT_EQ(g_fBranchColor[1], 40.0f / 255.0f);
  EXPECT_EQ(g_fBranchColor[2], 20.0f / 255.0f);
  EXPECT_EQ(g_fLeafColor[0], 40.0f / 255.0f);
  EXPECT_EQ(g_fLeafColor[1], 160.0f / 255.0f);
  EXPECT_EQ(g_fLeafColor[2], 50.0f / 255.0f);
  expectVec(model.stemColor, 0.3, 0.6, 0.2);

  ASSERT_EQ(model.stemPoints.size(), 2u);
  expectVec(model.stemPoints[0], 0, 0, 0);
  expectVec(model.stemPoints[1], 0, 0.5, 0);
  EXPECT_EQ(model.stemWidths, (std::vector<double>{0.02, 0.01}));

  ASSERT_EQ(model.leafVertices.size(), 3u);
  expectVec(model.leafVertices[0], 0, 0.5, 0);
  expectVec(model.leafVertices[1], -0.25, 1, 0);
  expectVec(model.leafVertices[2], 0.25, 1, 0);
  EXPECT_EQ(model.leafTexCoords, (std::vector<double>{0.5, 0, 0, 1, 1, 1}));
  EXPECT_EQ(model.leafTriangles, (std::vector<int>{0, 1, 2}));
  // (B - A) x (C - A) = (-0.25, 0.5, 0) x (0.25, 0.5, 0) points along -z.
  ASSERT_EQ(model.leafNormals.size(), 1u);
  expectVec(model.leafNormals[0], 0, 0, -1);
}

// Line breaks carry no meaning, record numbers are ignored, and nothing after the last
// triangle is read.
TEST_F(LeafModelFile, LayoutAndRecordNumbersDoNotMatter) {
  ASSERT_TRUE(model.loadLeafModel(dir.write("a.txt", kExampleLeaf)));
  LeafSnapshot reference(model);
  std::string oneLine =
      "60 40 20 40 160 50\t0.3 0.6 0.2 0.5 2 3 1 7 0 0 0 0.04 7 0 1 0 0.02 -3 0 1 0 0.5 0 "
      "-3 -0.5 2 0 0 1 99 0.5 2 0 1 1 5 0 1 2 trailing words are not read";
  TreeModel other;
  std::string reason;
  ASSERT_TRUE(other.loadLeafModel(dir.write("b.txt", oneLine), &reason)) << reason;
  EXPECT_TRUE(LeafSnapshot(other) == reference);
}

TEST_F(LeafModelFile, NormalsOfDegenerateAndExtremeTriangles) {
  // Triangle 0 has zero area; triangle 1 spans coordinates whose differences overflow a
  // double; triangle 2 is so small that its plain cross product underflows to zero.
  std::string text =
      "0 0 0 0 0 0 0 0 0 1 0 9 3\n"
      "0 0 0 0 0 0\n 1 1 1 1 0 0\n 2 2 2 2 0 0\n"
      "3 -1e308 0 0 0 0\n 4 1e308 0 0 0 0\n 5 0 1e308 0 0 0\n"
      "6 0 0 0 0 0\n 7 1e-200 0 0 0 0\n 8 0 0 1e-200 0 0\n"
      "0 0 1 2\n 1 3 4 5\n 2 6 7 8\n";
  std::string reason;
  ASSERT_TRUE(model.loadLeafModel(dir.write("n.txt", text), &reason)) << reason;
  ASSERT_EQ(model.leafNormals.size(), 3u);
  expectVec(model.leafNormals[0], 0, 0, 0);
  expectVec(model.leafNormals[1], 0, 0, 1);
  expectVec(model.leafNormals[2], 0, -1, 0);
}

TEST_F(LeafModelFile, NoTrianglesGivesAStemOnlyLeaf) {
  std::string text = "1 2 3 4 5 6 0.1 0.2 0.3 2 2 0 0 0 0 0 0 0.1 1 0 1 0 0.05\n";
  std::string reason;
  ASSERT_TRUE(model.loadLeafModel(dir.write("stem.txt", text), &reason)) << reason;
  EXPECT_EQ(model.stemPoints.size(), 2u);
  expectVec(model.stemPoints[1], 0, 2, 0);
  EXPECT_DOUBLE_EQ(model.stemWidths[1], 0.1);
  EXPECT_TRUE(model.leafVertices.empty());
  EXPECT_TRUE(model.leafTriangles.empty());
  EXPECT_TRUE(model.leafNormals.empty());
  // Colours above 255 pass through as components above 1.
  ASSERT_TRUE(model.loadLeafModel(dir.write("bright.txt", "510 0 0 0 0 0 0 0 0 1 0 0 0")));
  EXPECT_EQ(g_fBranchColor[0], 2.0f);
  EXPECT_TRUE(model.stemPoints.empty());
}

// Every rejected file returns false with a reason naming the file (and the line where the
// problem is), and leaves the previous leaf model, colours and list names as they were.
TEST_F(LeafModelFile, RejectedFilesChangeNothing) {
  ASSERT_TRUE(model.loadLeafModel(dir.write("good.txt", kExampleLeaf)));
  model.leafShapeList = 11;
  model.treeList = 12;
  const LeafSnapshot before(model);

  const std::string header = "1 2 3 4 5 6 0.1 0.2 0.3 1\n";
  struct Bad {
    const char* name;
    std::string text;
    const char* expect;  // part of the reason
  } cases[] = {
      {"empty", "", "file ends before the branch colour"},
      {"blank", " \n\t\n", "file ends before the branch colour"},
      {"short header", "1 2 3 4 5", "file ends before the leaf colour"},
      {"no counts", header, "file ends before the stem point count"},
      {"short vertices", header + "0 2 1\n0 0 0 0 0 0\n1 1 1", "file ends before a vertex"},
      {"short triangles", header + "0 3 1\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 1",
       "file ends before a triangle index"},
      {"word colour", "1 2 green", "line 1: expected a number for the branch colour, found \"green\""},
      {"negative count", header + "0\n-3 0\n", "line 3: the vertex count is negative (\"-3\")"},
      {"absurd count", header + "1000001 0 0\n", "line 2: the stem point count is too large"},
      {"fractional count", header + "0 2.5 0\n", "expected an integer for the vertex count, found \"2.5\""},
      {"huge integer", header + "0 0 99999999999999999999\n", "the triangle count is out of range"},
      {"nan vertex", header + "0 1 0\n0 nan 0 0 0 0\n", "line 3: a vertex is not a finite number (\"nan\")"},
      {"infinite scale", "1 2 3 4 5 6 0.1 0.2 0.3 inf 0 0 0", "the scale is not a finite number"},
      {"overflowing number", header + "1 0 0\n0 0 1e999 0 0.1\n", "a stem point is not a finite number"},
      {"overflow after scaling", "1 2 3 4 5 6 0.1 0.2 0.3 1e200 1 0 0 0 0 1e200 0 0.1",
       "a stem point times the scale is not finite"},
      {"colour beyond float", "1e39 2 3 4 5 6 0.1 0.2 0.3 1 0 0 0", "the branch colour does not fit a float"},
      {"index past vertices", header + "0 3 1\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 1 3\n",
       "line 6: a triangle index is outside the vertex block (\"3\")"},
      {"negative index", header + "0 3 1\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 -1 1 2\n",
       "a triangle index is outside the vertex block (\"-1\")"},
      {"index without vertices", header + "0 0 1\n0 0 0 0\n", "a triangle index is outside the vertex block (\"0\")"},
      {"overlong token", "1 2 " + std::string(5000, '7'), "line 1: token longer than 256 characters"},
      {"binary", std::string("\x01\x02\xff\xfe", 4), "expected a number for the branch colour"},
  };
  for (const Bad& bad : cases) {
    SCOPED_TRACE(bad.name);
    std::string path = dir.write(std::string(bad.name) + ".leaf", bad.text);
    std::string reason;
    EXPECT_FALSE(model.loadLeafModel(path, &reason));
    EXPECT_NE(reason.find(path), std::string::npos) << reason;
    EXPECT_NE(reason.find(bad.expect), std::string::npos) << reason;
    EXPECT_TRUE(LeafSnapshot(model) == before);
  }

  std::string reason;
  EXPECT_FALSE(model.loadLeafModel(dir.file("missing.txt"), &reason));
  EXPECT_EQ(reason, "cannot open leaf model file " + dir.file("missing.txt"));
  EXPECT_FALSE(model.loadLeafModel(dir.path(), &reason));      // a folder opens but cannot be read
  EXPECT_FALSE(model.loadLeafModel(dir.file("missing.txt")));  // no reason wanted
  EXPECT_TRUE(LeafSnapshot(model) == before);
}

TEST(BundledLeafModels, EveryBundledFileLoads) {
  const std::string folder = std::string(FRONDAREL_SOURCE_DIR) + "/data/leaf_model";
  DIR* d = opendir(folder.c_str());
  if (!d) GTEST_SKIP() << "no " << folder;
  std::vector<std::string> names;
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  closedir(d);
  if (names.empty()) GTEST_SKIP() << "no leaf models in " << folder;
  for (const std::string& name : names) {
    TreeModel model;
    std::string reason;
    EXPECT_TRUE(model.loadLeafModel(folder + "/" + name, &reason)) << name << ": " << reason;
    EXPECT_FALSE(model.leafTriangles.empty() && model.stemPoints.size() < 2) << name << " draws nothing";
  }
  resetSettingsToStartValues();
}
