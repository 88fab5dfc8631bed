// The point and frame drawing in a real GL context, read back through feedback: every
// vertex, its colour and the primitive counts, for clouds loaded from real files.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <sstream>

#include "pointcloud/cloud_file_test.h"
#include "support/gl_test_context.h"

namespace {

constexpr double kTol = 1e-3;  // feedback goes through single-precision window coordinates

struct Colour {
  double r, g, b;
};
struct Segment {
  PointRecord a, b;
};

bool near(double a, double b, double tol = kTol) {
  return std::fabs(a - b) <= tol;
}
bool sameColour(const FeedbackVertex& v, const Colour& c) {
  return near(v.r, c.r, 0.01) && near(v.g, c.g, 0.01) && near(v.b, c.b, 0.01);
}
bool samePoint(const FeedbackVertex& v, const PointRecord& p) {
  return near(v.x, p.x) && near(v.y, p.y) && near(v.z, p.z);
}
bool isLine(const FeedbackPrimitive& p) {
  return p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN;
}

// True when the lines of the given colour are exactly the expected segments (either direction).
bool linesMatch(const std::vector<FeedbackPrimitive>& prims, const Colour& colour, std::vector<Segment> expected) {
  for (const auto& p : prims) {
    if (!isLine(p) || !sameColour(p.vertices[0], colour)) continue;
    const auto& v = p.vertices;
    const auto found = std::find_if(expected.begin(), expected.end(), [&](const Segment& s) {
      return (samePoint(v[0], s.a) && samePoint(v[1], s.b)) || (samePoint(v[0], s.b) && samePoint(v[1], s.a));
    });
    if (found == expected.end()) return false;
    expected.erase(found);
  }
  return expected.empty();
}

// The primitives from first on are n points at the records' positions in the given colours.
void expectPoints(const std::vector<FeedbackPrimitive>& prims, size_t first, const std::vector<PointRecord>& at,
                  size_t n, const std::function<Colour(size_t)>& colour) {
  ASSERT_GE(prims.size(), first + n);
  for (size_t i = 0; i < n; ++i) {
    const FeedbackPrimitive& p = prims[first + i];
    EXPECT_TRUE(p.token == GL_POINT_TOKEN && samePoint(p.vertices[0], at[i]) && sameColour(p.vertices[0], colour(i)))
        << i;
  }
}

class PointDisplayGlTest : public CloudFileTest {
 protected:
  void SetUp() override {
    ensureGlContext();
    CloudFileTest::SetUp();
  }
  // Drawing turns lighting off and leaves point size and line width at 1.
  void expectStateLeft() {
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    GLfloat size = 0, width = 0;
    glGetFloatv(GL_POINT_SIZE, &size);
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_TRUE(size == 1.0f && width == 1.0f);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
};

TEST_F(PointDisplayGlTest, PointsAreDrawnInTheirOwnColoursOrBlack) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> coord(-3.0, 3.0);
  std::vector<std::array<double, 6>> xyzrgb(60);
  std::ostringstream ply;
  ply << plyHeader(xyzrgb.size(), 7);
  for (auto& v : xyzrgb) {
    v = {coord(rng), coord(rng), coord(rng), double(rng() % 256), double(rng() % 256), double(rng() % 256)};
    ply << v[0] << " " << v[1] << " " << v[2] << " " << v[3] << " " << v[4] << " " << v[5] << " 255\n";
  }
  loadFile("coloured.ply", ply.str());
  ASSERT_TRUE(loadedOk);
  glEnable(GL_LIGHTING);
  glColor3d(1, 0, 0);
  auto prims = captureFeedback([&] { cloud.drawPoints(); });
  EXPECT_EQ(prims.size(), xyzrgb.size());  // count records only, and no ground points for a PLY cloud
  expectPoints(prims, 0, cloud.points, xyzrgb.size(), [&](size_t i) {
    return Colour{xyzrgb[i][3] / 255, xyzrgb[i][4] / 255, xyzrgb[i][5] / 255};
  });
  expectStateLeft();

  // A geo cloud has neither colours nor ground points: black, whatever the current colour.
  loadFile("three.geo", "52 5 1 0 1\n52.00001 5 2 0 1\n52 5.00001 3 0 1\n");
  ASSERT_TRUE(loadedOk);
  glColor3d(0, 1, 0);
  prims = captureFeedback([&] { cloud.drawPoints(); });
  EXPECT_EQ(prims.size(), 3u);
  expectPoints(prims, 0, cloud.points, 3, [](size_t) { return Colour{0, 0, 0}; });
}

TEST_F(PointDisplayGlTest, TextCloudShowsBlackPointsAndGreyGroundPointsUnlessHidden) {
  std::ostringstream text;
  for (int i = 0; i < 30; ++i) text << (i % 5) << " " << (i / 5) << " " << (1 + i * 0.2) << " 0 0.5\n";
  loadFile("cloud.txt", text.str());
  const uint32_t n = cloud.count, grounds = cloud.fileCount;
  ASSERT_GT(n, grounds);  // the key points are drawn as points too
  auto prims = captureFeedback([&] { cloud.drawPoints(); });
  ASSERT_EQ(prims.size(), n + grounds);
  expectPoints(prims, 0, cloud.points, n, [](size_t) { return Colour{0, 0, 0}; });
  expectPoints(prims, n, cloud.groundPoints, grounds, [](size_t) { return Colour{0.5, 0.5, 0.5}; });

  g_bShowGroundPoints = false;
  EXPECT_EQ(captureFeedback([&] { cloud.drawPoints(); }).size(), n);
  expectStateLeft();
}

// The box, the axes from the centre of its floor to 1.2 times the box, and three arrowheads
// 1 unit long with a rim of radius 0.25 in 45 degree steps.
void expectBoxAxesAndArrows(const std::vector<FeedbackPrimitive>& prims, const PointRecord& lo, const PointRecord& hi) {
  auto corner = [&](int c) { return PointRecord{c & 1 ? hi.x : lo.x, c & 2 ? hi.y : lo.y, c & 4 ? hi.z : lo.z}; };
  std::vector<Segment> box;  // the 12 edges join corners that differ on one axis
  for (int c = 0; c < 8; ++c) {
    for (int bit = 1; bit < 8; bit <<= 1) {
      if (!(c & bit)) box.push_back({corner(c), corner(c | bit)});
    }
  }
  EXPECT_TRUE(linesMatch(prims, Colour{0, 0, 0}, box));
  const PointRecord origin{0, lo.y, 0}, ends[3] = {{1.2 * hi.x, lo.y, 0}, {0, 1.2 * hi.y, 0}, {0, lo.y, 1.2 * hi.z}};
  EXPECT_TRUE(linesMatch(prims, Colour{0, 0, 0.5}, {{origin, ends[0]}, {origin, ends[1]}, {origin, ends[2]}}));

  // Each fan of apex + 9 rim vertices becomes 8 triangles sharing the apex; Y, then X, then Z.
  std::vector<const FeedbackPrimitive*> triangles;
  for (const auto& p : prims) {
    if (p.token == GL_POLYGON_TOKEN) triangles.push_back(&p);
  }
  ASSERT_EQ(triangles.size(), 24u);
  const int axes[3] = {1, 0, 2};
  for (int k = 0; k < 3; ++k) {
    const int axis = axes[k];
    const PointRecord& base = ends[axis];
    PointRecord apex = base;
    (axis == 0 ? apex.x : axis == 1 ? apex.y : apex.z) += 1.0;
    for (int t = 0; t < 8; ++t) {
      const auto& v = triangles[k * 8 + t]->vertices;
      ASSERT_EQ(v.size(), 3u);
      EXPECT_TRUE(samePoint(v[0], apex)) << "arrow " << k << " triangle " << t;
      // The rim: in the plane through the axis end normal to the axis, radius 0.25, 45 degree steps.
      for (int r = 1; r < 3; ++r) {
        const double d[3] = {v[r].x - base.x, v[r].y - base.y, v[r].z - base.z};
        EXPECT_TRUE(near(d[axis], 0) && near(std::hypot(d[0], d[1], d[2]), 0.25) && sameColour(v[r], {0, 0, 0.5}))
            << "arrow " << k;
      }
      EXPECT_NEAR(std::hypot(v[1].x - v[2].x, v[1].y - v[2].y, v[1].z - v[2].z), 0.5 * std::sin(M_PI / 8), kTol);
    }
  }
}

// The red rectangle at the bottom as read appears only when key points lowered the floor.
TEST_F(PointDisplayGlTest, FrameHasBoxAxesArrowheadsAndTheRedRectangleOnlyWhenTheBottomWasLowered) {
  for (const bool keyed : {false, true}) {
    const std::string header = keyed ? "#\nleafSize=0.2\naddKeyPoints=1\n" : "";
    loadFile(keyed ? "keyed.ply" : "plain.ply", plyHeader(3, 3) + header + "-2 1 -1\n2 5 3\n0 3 0\n");
    const PointRecord &lo = cloud.minCorner, &hi = cloud.maxCorner, &base = cloud.baseCorner;
    ASSERT_TRUE(loadedOk && (base.y > lo.y) == keyed);
    glEnable(GL_LIGHTING);
    const auto prims = captureFeedback([&] { cloud.drawFrame(); });
    std::vector<Segment> rectangle;
    if (keyed) {
      const PointRecord corners[4] = {
          {base.x, base.y, base.z}, {base.x, base.y, hi.z}, {hi.x, base.y, hi.z}, {hi.x, base.y, base.z}};
      for (int c = 0; c < 4; ++c) rectangle.push_back({corners[c], corners[(c + 1) % 4]});
    }
    EXPECT_TRUE(linesMatch(prims, Colour{0.8, 0, 0}, rectangle)) << keyed;
    EXPECT_EQ(std::count_if(prims.begin(), prims.end(), isLine), 15 + static_cast<long>(rectangle.size()));
    expectBoxAxesAndArrows(prims, lo, hi);
    expectStateLeft();
  }
}

}  // namespace
