#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "support/test_support.h"
#include "tree/tree_model.h"

namespace {

// The example leaf: two stem points, three vertices, one triangle, scale 0.5.
const char* kExampleLeaf =
    "60 40 20\n40 160 50\n0.3 0.6 0.2\n0.5\n2 3 1\n"
    "0 0 0 0 0.04\n1 0 1 0 0.02\n"
    "0 0 1 0 0.5 0\n1 -0.5 2 0 0 1\n2 0.5 2 0 1 1\n"
    "0 0 1 2\n";

using Numbers = std::vector<double>;

Numbers flat(const std::vector<Vec3>& vs) {
  Numbers n;
  for (const Vec3& v : vs) n.insert(n.end(), {v.x, v.y, v.z});
  return n;
}

// Everything a load may change (colour settings, leaf data, list names), for comparing
// before and after a load.
Numbers snapshot(const TreeModel& m) {
  Numbers s(g_fBranchColor, g_fBranchColor + 3);
  s.insert(s.end(), g_fLeafColor, g_fLeafColor + 3);
  for (const Numbers& part :
       {flat({m.stemColor}), flat(m.stemPoints), m.stemWidths, flat(m.leafVertices), m.leafTexCoords,
        Numbers(m.leafTriangles.begin(), m.leafTriangles.end()), flat(m.leafNormals)}) {
    s.push_back(part.size());
    s.insert(s.end(), part.begin(), part.end());
  }
  s.insert(s.end(), {double(m.leafShapeList), double(m.treeList)});
  return s;
}

class LeafModelFile : public testing::Test {
 protected:
  void SetUp() override { resetSettingsToStartValues(); }
  void TearDown() override { resetSettingsToStartValues(); }

  bool load(const std::string& name, const std::string& text, TreeModel* into = nullptr) {
    std::string reason;
    bool ok = (into ? *into : model).loadLeafModel(dir.write(name, text), &reason);
    EXPECT_TRUE(ok) << reason;
    return ok;
  }

  TempDir dir;
  TreeModel model;
};

}  // namespace

TEST_F(LeafModelFile, ExampleFileValues) {
  ASSERT_TRUE(load("example.txt", kExampleLeaf));
  EXPECT_EQ(Numbers(g_fBranchColor, g_fBranchColor + 3), (Numbers{60 / 255.0f, 40 / 255.0f, 20 / 255.0f}));
  EXPECT_EQ(Numbers(g_fLeafColor, g_fLeafColor + 3), (Numbers{40 / 255.0f, 160 / 255.0f, 50 / 255.0f}));
  EXPECT_EQ(flat({model.stemColor}), (Numbers{0.3, 0.6, 0.2}));
  EXPECT_EQ(flat(model.stemPoints), (Numbers{0, 0, 0, 0, 0.5, 0}));
  EXPECT_EQ(model.stemWidths, (Numbers{0.02, 0.01}));
  EXPECT_EQ(flat(model.leafVertices), (Numbers{0, 0.5, 0, -0.25, 1, 0, 0.25, 1, 0}));
  EXPECT_EQ(model.leafTexCoords, (Numbers{0.5, 0, 0, 1, 1, 1}));
  EXPECT_EQ(model.leafTriangles, (std::vector<int>{0, 1, 2}));
  // (B - A) x (C - A) = (-0.25, 0.5, 0) x (0.25, 0.5, 0) points along -z.
  EXPECT_EQ(flat(model.leafNormals), (Numbers{0, 0, -1}));
}

// Line breaks carry no meaning, record numbers are ignored, nothing after the last triangle is
// read, and a file without triangles gives a stem-only leaf.
TEST_F(LeafModelFile, LayoutRecordNumbersAndEmptyBlocks) {
  ASSERT_TRUE(load("a.txt", kExampleLeaf));
  TreeModel other;
  ASSERT_TRUE(load("b.txt",
                   "60 40 20 40 160 50\t0.3 0.6 0.2 0.5 2 3 1 7 0 0 0 0.04 7 0 1 0 0.02 -3 0 1 0 0.5 0 "
                   "-3 -0.5 2 0 0 1 99 0.5 2 0 1 1 5 0 1 2 trailing words are not read",
                   &other));
  EXPECT_EQ(snapshot(other), snapshot(model));

  ASSERT_TRUE(load("stem.txt", "1 2 3 4 5 6 0.1 0.2 0.3 2 2 0 0 0 0 0 0 0.1 1 0 1 0 0.05\n"));
  EXPECT_EQ(flat(model.stemPoints), (Numbers{0, 0, 0, 0, 2, 0}));
  EXPECT_TRUE(model.leafVertices.empty() && model.leafTriangles.empty() && model.leafNormals.empty());
}

// Regression: normals of triangles whose edges overflow (1e308) or whose cross product
// underflows (1e-200) keep their direction; a zero-area triangle gets (0, 0, 0).
TEST_F(LeafModelFile, NormalsOfDegenerateAndExtremeTriangles) {
  ASSERT_TRUE(load("n.txt",
                   "0 0 0 0 0 0 0 0 0 1 0 9 3\n"
                   "0 0 0 0 0 0\n 1 1 1 1 0 0\n 2 2 2 2 0 0\n"
                   "3 -1e308 0 0 0 0\n 4 1e308 0 0 0 0\n 5 0 1e308 0 0 0\n"
                   "6 0 0 0 0 0\n 7 1e-200 0 0 0 0\n 8 0 0 1e-200 0 0\n"
                   "0 0 1 2\n 1 3 4 5\n 2 6 7 8\n"));
  EXPECT_EQ(flat(model.leafNormals), (Numbers{0, 0, 0, 0, 0, 1, 0, -1, 0}));
}

// A rejected file returns false with a reason naming the file and the problem, and leaves the
// previous leaf model, colours and list names as they were.
TEST_F(LeafModelFile, RejectedFilesChangeNothing) {
  ASSERT_TRUE(load("good.txt", kExampleLeaf));
  model.leafShapeList = 11;
  model.treeList = 12;
  const Numbers before = snapshot(model);

  const std::string header = "1 2 3 4 5 6 0.1 0.2 0.3 1\n";
  const std::string triangle = header + "0 3 1\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n";
  // File text, and part of the reason.
  const std::pair<std::string, const char*> cases[] = {
      // Short.
      {"", "file ends before the branch colour"},
      {"1 2 3 4 5", "file ends before the leaf colour"},
      // (padded so that its size could hold the declared records)
      {triangle + "0 0 1    ", "file ends before a triangle index"},
      // Malformed.
      {"1 2 green", "line 1: expected a number for the branch colour, found \"green\""},
      {header + "0 2.5 0\n", "expected an integer for the vertex count, found \"2.5\""},
      {"1 2 " + std::string(5000, '7'), "line 1: token longer than 256 characters"},
      {std::string("\x01\x02\xff\xfe", 4), "expected a number for the branch colour"},
      // Negative or absurd counts.
      {header + "0\n-3 0\n", "line 3: the vertex count is negative (\"-3\")"},
      {header + "1000001 0 0\n", "line 2: the stem point count is too large"},
      {header + "0 0 99999999999999999999\n", "the triangle count is out of range"},
      // Mended fault: counts the file cannot hold were allocated before reading failed.
      {header + "0 1000000 0\n",
       "line 2: the counts declare 0 stem points, 1000000 vertices and 0 triangles, more than "
       "the 0 bytes left can hold"},
      // Not finite.
      {header + "0 1 0\n0 nan 0 0 0 0\n", "line 3: a vertex is not a finite number (\"nan\")"},
      {header + "1 0 0\n0 0 1e999 0 0.1\n", "a stem point is not a finite number"},
      {"1 2 3 4 5 6 0.1 0.2 0.3 1e200 1 0 0 0 0 1e200 0 0.1", "a stem point times the scale is not finite"},
      {"1e39 2 3 4 5 6 0.1 0.2 0.3 1 0 0 0", "the branch colour does not fit a float"},
      // Triangle index out of range.
      {triangle + "0 0 1 3\n", "line 6: a triangle index is outside the vertex block (\"3\")"},
      {triangle + "0 -1 1 2\n", "a triangle index is outside the vertex block (\"-1\")"},
  };
  int n = 0;
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.second);
    std::string path = dir.write("bad" + std::to_string(n++) + ".leaf", bad.first), reason;
    EXPECT_FALSE(model.loadLeafModel(path, &reason));
    EXPECT_NE(reason.find(path), std::string::npos) << reason;
    EXPECT_NE(reason.find(bad.second), std::string::npos) << reason;
    EXPECT_EQ(snapshot(model), before);
  }

  // Unopenable: a missing file, a folder (opens but cannot be read), and no reason wanted.
  std::string reason;
  EXPECT_FALSE(model.loadLeafModel(dir.file("missing.txt"), &reason));
  EXPECT_EQ(reason, "cannot open leaf model file " + dir.file("missing.txt"));
  EXPECT_FALSE(model.loadLeafModel(dir.path(), &reason));
  EXPECT_FALSE(model.loadLeafModel(dir.file("missing.txt")));
  EXPECT_EQ(snapshot(model), before);
}

TEST(BundledLeafModels, EveryBundledFileLoads) {
  const std::filesystem::path folder = std::string(FRONDAREL_SOURCE_DIR) + "/data/leaf_model";
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no " << folder;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string()[0] == '.') continue;
    ++files;
    TreeModel model;
    std::string reason;
    EXPECT_TRUE(model.loadLeafModel(entry.path().string(), &reason)) << entry.path() << ": " << reason;
    EXPECT_FALSE(model.leafTriangles.empty() && model.stemPoints.size() < 2) << entry.path() << " draws nothing";
  }
  if (files == 0) GTEST_SKIP() << "no leaf models in " << folder;
  resetSettingsToStartValues();
}
