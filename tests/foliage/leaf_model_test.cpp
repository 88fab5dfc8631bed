// Leaf-model files: the format's worked example, free layout, and rejected files that change
// nothing.

#include "support/fresh_globals.h"
#include "support/test_support.h"
#include "tree/tree_model.h"

namespace {

// Two stem points, three vertices, one triangle, scale 0.5.
const char* kExampleLeaf =
    "60 40 20\n40 160 50\n0.3 0.6 0.2\n0.5\n2 3 1\n0 0 0 0 0.04\n1 0 1 0 0.02\n"
    "0 0 1 0 0.5 0\n1 -0.5 2 0 0 1\n2 0.5 2 0 1 1\n0 0 1 2\n";

using Numbers = std::vector<double>;

Numbers flat(const std::vector<Vec3>& vs) {
  Numbers n;
  for (const Vec3& v : vs) n.insert(n.end(), {v.x, v.y, v.z});
  return n;
}

// Everything a load may change: the colour settings and the leaf data.
Numbers snapshot(const TreeModel& m) {
  Numbers s(g_fBranchColor, g_fBranchColor + 3);
  s.insert(s.end(), g_fLeafColor, g_fLeafColor + 3);
  for (const Numbers& part :
       {flat({m.stemColor}), flat(m.stemPoints), m.stemWidths, flat(m.leafVertices), m.leafTexCoords,
        Numbers(m.leafTriangles.begin(), m.leafTriangles.end()), flat(m.leafNormals)}) {
    s.push_back(double(part.size()));
    s.insert(s.end(), part.begin(), part.end());
  }
  return s;
}

class LeafModelFile : public FreshSettings {
 protected:
  bool load(const std::string& text, TreeModel& into) {
    std::string reason;
    const bool ok = into.loadLeafModel(dir.write("leaf.txt", text), &reason);
    EXPECT_TRUE(ok) << reason;
    return ok;
  }
  TempDir dir;
  TreeModel model;
};

}  // namespace

TEST_F(LeafModelFile, WorkedExampleAndFreeLayout) {
  ASSERT_TRUE(load(kExampleLeaf, model));
  // Colours in bytes; then count and values of the stem colour, stem points and widths (times the
  // scale), leaf vertices (times the scale), texture coordinates, triangles and normals:
  // (B - A) x (C - A) = (-0.25, 0.5, 0) x (0.25, 0.5, 0) points along -z.
  // clang-format off
  EXPECT_EQ(snapshot(model), (Numbers{60 / 255.0f, 40 / 255.0f, 20 / 255.0f, 40 / 255.0f, 160 / 255.0f, 50 / 255.0f,
                                      3, 0.3, 0.6, 0.2,  6, 0, 0, 0, 0, 0.5, 0,  2, 0.02, 0.01,
                                      9, 0, 0.5, 0, -0.25, 1, 0, 0.25, 1, 0,  6, 0.5, 0, 0, 1, 1, 1,
                                      3, 0, 1, 2,  3, 0, 0, -1}));
  // clang-format on
  // Line breaks carry no meaning, record numbers are ignored, nothing after the last triangle is read.
  TreeModel other;
  ASSERT_TRUE(
      load("60 40 20 40 160 50\t0.3 0.6 0.2 0.5 2 3 1 7 0 0 0 0.04 7 0 1 0 0.02 -3 0 1 0 0.5 0 "
           "-3 -0.5 2 0 0 1 99 0.5 2 0 1 1 5 0 1 2 trailing words are not read",
           other));
  EXPECT_EQ(snapshot(other), snapshot(model));
}

// A rejected file returns false with a reason naming the file and the problem, and leaves the
// previous leaf model and colours as they were.
TEST_F(LeafModelFile, RejectedFilesChangeNothing) {
  ASSERT_TRUE(load(kExampleLeaf, model));
  const Numbers before = snapshot(model);
  const std::string header = "1 2 3 4 5 6 0.1 0.2 0.3 1\n";
  const std::string triangle = header + "0 3 1\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n";
  const std::pair<std::string, const char*> cases[] = {
      {"1 2 3 4 5", "file ends before the leaf colour"},
      {"1 2 green", "line 1: expected a number for the branch colour, found \"green\""},
      {"1 2 " + std::string(5000, '7'), "line 1: token longer than 256 characters"},
      {header + "0\n-3 0\n", "line 3: the vertex count is negative (\"-3\")"},
      // Mended: counts the file cannot hold were allocated before reading failed.
      {header + "0 1000000 0\n",
       "line 2: the counts declare 0 stem points, 1000000 vertices and 0 triangles, more than the 0 bytes left can "
       "hold"},
      {header + "0 1 0\n0 nan 0 0 0 0\n", "line 3: a vertex is not a finite number (\"nan\")"},
      {"1 2 3 4 5 6 0.1 0.2 0.3 1e200 1 0 0 0 0 1e200 0 0.1", "a stem point times the scale is not finite"},
      {"1e39 2 3 4 5 6 0.1 0.2 0.3 1 0 0 0", "the branch colour does not fit a float"},
      {triangle + "0 0 1 3\n", "line 6: a triangle index is outside the vertex block (\"3\")"},
  };
  for (const auto& [text, problem] : cases) {
    const std::string path = dir.write("bad.leaf", text);
    std::string reason;
    EXPECT_FALSE(model.loadLeafModel(path, &reason));
    EXPECT_NE(reason.find(path + ": "), std::string::npos) << reason;
    EXPECT_NE(reason.find(problem), std::string::npos) << reason;
    EXPECT_EQ(snapshot(model), before);
  }
  std::string reason;
  EXPECT_FALSE(model.loadLeafModel(dir.file("missing.txt"), &reason));
  EXPECT_EQ(reason, "cannot open leaf model file " + dir.file("missing.txt"));
  EXPECT_FALSE(model.loadLeafModel(dir.path(), &reason));  // a folder opens but cannot be read
  EXPECT_EQ(snapshot(model), before);
}
