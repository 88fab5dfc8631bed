// Branch geometry: Catmull-Rom subdivision and tube rings around the carried frame.

#include "tree/branch_mesh.h"

#include "tree_test_util.h"

namespace {

using BranchMeshTest = TreeTest;

std::vector<Vec3> randomPolyline(std::mt19937& rng, int count) {
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<Vec3> p{Vec3(0, 0, 0)};
  for (int i = 1; i < count; ++i) p.push_back(Vec3(p.back().x + u(rng), p.back().y + 1 + u(rng), p.back().z + u(rng)));
  return p;
}

// The uniform Catmull-Rom point halfway from p1 to p2.
Vec3 midpoint(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3) {
  return Vec3((9 * (p1.x + p2.x) - p0.x - p3.x) / 16, (9 * (p1.y + p2.y) - p0.y - p3.y) / 16,
              (9 * (p1.z + p2.z) - p0.z - p3.z) / 16);
}

}  // namespace

TEST_F(BranchMeshTest, SubdivisionInsertsCatmullRomMidpoints) {
  std::mt19937 rng(8);
  for (int m = 2; m < 9; ++m) {
    std::vector<Vec3> p = randomPolyline(rng, m), q = p;
    p[m - 1].status = q[m - 1].status = 1;  // original nodes keep their status
    std::vector<double> r;
    for (int i = 0; i < m; ++i) r.push_back(0.1 * (i + 1));
    std::vector<double> s = r;
    subdivideBranch(q, s);
    ASSERT_EQ(q.size(), size_t(2 * m - 1));
    ASSERT_EQ(s.size(), q.size());
    for (int i = 0; i < m; ++i) {
      expectSame(q[2 * i], p[i]);
      EXPECT_EQ(s[2 * i], r[i]);
    }
    for (int i = 0; i + 1 < m; ++i) {
      // The ends are extended by reflecting the next node through the end node.
      const Vec3 before = i == 0 ? 2.0 * p[0] - p[1] : p[i - 1],
                 after = i + 2 < m ? p[i + 2] : 2.0 * p[m - 1] - p[m - 2];
      expectSame(q[2 * i + 1], midpoint(before, p[i], p[i + 1], after), 1e-12);
      EXPECT_NEAR(s[2 * i + 1], 0.5 * (r[i] + r[i + 1]), 1e-12);
    }
  }
}

TEST_F(BranchMeshTest, RingsSitAtHalfRadiusAroundTheCarriedFrame) {
  std::mt19937 rng(31);
  for (int sides : {8, 12}) {
    std::vector<Vec3> p = randomPolyline(rng, 9);
    std::vector<double> r(p.size());
    for (size_t i = 0; i < r.size(); ++i) r[i] = 0.3 + 0.05 * i;
    std::vector<TubeRing> rings = tubeRings(p, r, sides);
    ASSERT_EQ(rings.size(), p.size());
    for (size_t i = 0; i < rings.size(); ++i) {
      ASSERT_EQ(rings[i].vertices.size(), size_t(sides));
      // Each frame is perpendicular to the segment after its node (the last one for the last node).
      Vec3 d = normalised(i + 1 < p.size() ? difference(p[i + 1], p[i]) : difference(p[i], p[i - 1]));
      for (int j = 0; j < sides; ++j)
        ASSERT_TRUE(std::fabs(length(rings[i].normals[j]) - 1) + std::fabs(dot(rings[i].normals[j], d)) +
                        std::fabs(length(difference(rings[i].vertices[j], p[i])) - 0.5 * r[i]) <
                    1e-11)
            << i << " " << j;
    }
  }
  // An invalid node poisons the frames from there on.
  std::vector<TubeRing> bad =
      tubeRings({Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 2, 0, 1), Vec3(0, 3, 0)}, {1, 1, 1, 1}, 8);
  EXPECT_NEAR(length(bad[0].normals[0]), 1.0, 1e-12);
  for (size_t i = 1; i < bad.size(); ++i) EXPECT_EQ(length(bad[i].normals[3]), 0.0);
  // Fewer radii than nodes: no rings rather than a read past the radius list.
  EXPECT_TRUE(tubeRings({Vec3(0, 0, 0), Vec3(0, 1, 0)}, {0.1}, 8).empty());
}
