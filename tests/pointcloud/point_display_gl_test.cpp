// The point and frame drawing in a real GL context, read back through feedback: every
// vertex, its colour and the primitive counts, for clouds loaded from real files.

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "pointcloud/point_cloud.h"
#include "support/gl_test_context.h"
#include "support/test_support.h"

namespace {

constexpr double kTol = 1e-3;  // feedback goes through single-precision window coordinates

struct Colour {
  double r, g, b;
};
struct Segment {
  double a[3], b[3];
};

bool near(double a, double b, double tol = kTol) {
  return std::fabs(a - b) <= tol;
}
bool sameColour(const FeedbackVertex& v, const Colour& c) {
  return near(v.r, c.r, 0.01) && near(v.g, c.g, 0.01) && near(v.b, c.b, 0.01);
}
bool samePoint(const FeedbackVertex& v, const double p[3]) {
  return near(v.x, p[0]) && near(v.y, p[1]) && near(v.z, p[2]);
}

bool isLine(const FeedbackPrimitive& p) {
  return p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN;
}

// True when every expected segment appears exactly once (either direction) among the lines of the given colour.
::testing::AssertionResult linesMatch(const std::vector<FeedbackPrimitive>& prims, const Colour& colour,
                                      const std::vector<Segment>& expected) {
  std::vector<const FeedbackPrimitive*> lines;
  for (const auto& p : prims) {
    if (isLine(p) && sameColour(p.vertices[0], colour)) lines.push_back(&p);
  }
  if (lines.size() != expected.size()) {
    return ::testing::AssertionFailure() << lines.size() << " lines of that colour, expected " << expected.size();
  }
  std::vector<bool> used(lines.size(), false);
  for (const Segment& s : expected) {
    bool found = false;
    for (size_t i = 0; i < lines.size() && !found; ++i) {
      const auto& v = lines[i]->vertices;
      if (!used[i] &&
          ((samePoint(v[0], s.a) && samePoint(v[1], s.b)) || (samePoint(v[0], s.b) && samePoint(v[1], s.a)))) {
        used[i] = found = true;
      }
    }
    if (!found) {
      return ::testing::AssertionFailure() << "missing segment (" << s.a[0] << "," << s.a[1] << "," << s.a[2] << ")-("
                                           << s.b[0] << "," << s.b[1] << "," << s.b[2] << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

std::string plyFile(const std::vector<std::array<double, 3>>& xyz, const std::vector<std::array<int, 3>>& rgb,
                    const std::string& header = "") {
  std::ostringstream out;
  out << "ply\nformat ascii 1.0\ncomment gl\nelement vertex " << xyz.size()
      << "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\nproperty uchar green\n"
         "property uchar blue\nproperty uchar alpha\nend_header\n"
      << header;
  for (size_t i = 0; i < xyz.size(); ++i) {
    out << xyz[i][0] << " " << xyz[i][1] << " " << xyz[i][2] << " " << rgb[i][0] << " " << rgb[i][1] << " " << rgb[i][2]
        << " 255\n";
  }
  return out.str();
}

class PointDisplayGlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureGlContext();
    resetSettingsToStartValues();
  }
  void TearDown() override { resetSettingsToStartValues(); }

  void load(const std::string& name, const std::string& content) {
    StdoutCapture quiet;
    ASSERT_TRUE(cloud.load(dir.write(name, content)));
  }

  void expectStateLeft(float pointSize, float lineWidth) {
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    GLfloat size = 0, width = 0;
    glGetFloatv(GL_POINT_SIZE, &size);
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(size, pointSize);
    EXPECT_EQ(width, lineWidth);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }

  TempDir dir;
  PointCloud cloud;
};

TEST_F(PointDisplayGlTest, PointsAreDrawnInTheirOwnColours) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> coord(-3.0, 3.0);
  std::vector<std::array<double, 3>> xyz(60);
  std::vector<std::array<int, 3>> rgb(60);
  for (size_t i = 0; i < xyz.size(); ++i) {
    xyz[i] = {coord(rng), coord(rng), coord(rng)};
    rgb[i] = {static_cast<int>(rng() % 256), static_cast<int>(rng() % 256), static_cast<int>(rng() % 256)};
  }
  load("coloured.ply", plyFile(xyz, rgb));
  glEnable(GL_LIGHTING);
  glColor3d(1, 0, 0);
  const auto prims = captureFeedback([&] { cloud.drawPoints(); });
  ASSERT_EQ(prims.size(), xyz.size());  // no ground points for a PLY cloud
  for (size_t i = 0; i < prims.size(); ++i) {
    ASSERT_EQ(prims[i].token, static_cast<GLenum>(GL_POINT_TOKEN));
    const double p[3] = {cloud.points[i].x, cloud.points[i].y, cloud.points[i].z};
    EXPECT_TRUE(samePoint(prims[i].vertices[0], p)) << i;
    EXPECT_TRUE(sameColour(prims[i].vertices[0], Colour{rgb[i][0] / 255.0, rgb[i][1] / 255.0, rgb[i][2] / 255.0})) << i;
  }
  expectStateLeft(1.0f, 1.0f);
}

TEST_F(PointDisplayGlTest, TextCloudShowsBlackPointsAndGreyGroundPointsUnlessHidden) {
  std::ostringstream text;
  for (int i = 0; i < 30; ++i) text << (i % 5) << " " << (i / 5) << " " << (1 + i * 0.2) << " 0 " << 0.5 << "\n";
  load("cloud.txt", text.str());
  const uint32_t n = cloud.count, grounds = cloud.fileCount;
  ASSERT_GT(n, grounds);  // the key points are drawn as points too

  auto prims = captureFeedback([&] { cloud.drawPoints(); });
  ASSERT_EQ(prims.size(), n + grounds);
  for (uint32_t i = 0; i < n; ++i) {
    const double p[3] = {cloud.points[i].x, cloud.points[i].y, cloud.points[i].z};
    EXPECT_TRUE(samePoint(prims[i].vertices[0], p)) << i;
    EXPECT_TRUE(sameColour(prims[i].vertices[0], Colour{0, 0, 0})) << i;
  }
  for (uint32_t i = 0; i < grounds; ++i) {
    const auto& g = cloud.groundPoints[i];
    const double p[3] = {g.x, g.y, g.z};
    EXPECT_TRUE(samePoint(prims[n + i].vertices[0], p)) << i;
    EXPECT_TRUE(sameColour(prims[n + i].vertices[0], Colour{0.5, 0.5, 0.5})) << i;
  }

  g_bShowGroundPoints = false;
  prims = captureFeedback([&] { cloud.drawPoints(); });
  EXPECT_EQ(prims.size(), n);
  expectStateLeft(1.0f, 1.0f);
}

TEST_F(PointDisplayGlTest, CloudWithoutColoursIsDrawnBlack) {
  // As the geo reader leaves it: points but no colour or ground arrays.
  cloud.count = cloud.fileCount = 3;
  cloud.points = {{1, 2, 3, 0}, {-1, 0, 2, 0}, {0, 5, -4, 0}, {9, 9, 9, 0}};
  glColor3d(0, 1, 0);
  const auto prims = captureFeedback([&] { cloud.drawPoints(); });
  ASSERT_EQ(prims.size(), 3u);  // only count records, not the spare one
  for (size_t i = 0; i < 3; ++i) {
    const double p[3] = {cloud.points[i].x, cloud.points[i].y, cloud.points[i].z};
    EXPECT_TRUE(samePoint(prims[i].vertices[0], p));
    EXPECT_TRUE(sameColour(prims[i].vertices[0], Colour{0, 0, 0}));
  }
}

// The box, the axes from the centre of its floor to 1.2 times the box, and three arrowheads
// 1 unit long with a rim of radius 0.25.
void expectBoxAxesAndArrows(const std::vector<FeedbackPrimitive>& prims, const PointRecord& lo, const PointRecord& hi) {
  std::vector<Segment> box;
  const double xs[2] = {lo.x, hi.x}, ys[2] = {lo.y, hi.y}, zs[2] = {lo.z, hi.z};
  for (int a = 0; a < 2; ++a) {
    for (int b = 0; b < 2; ++b) {
      box.push_back({{lo.x, ys[a], zs[b]}, {hi.x, ys[a], zs[b]}});
      box.push_back({{xs[a], lo.y, zs[b]}, {xs[a], hi.y, zs[b]}});
      box.push_back({{xs[a], ys[b], lo.z}, {xs[a], ys[b], hi.z}});
    }
  }
  EXPECT_TRUE(linesMatch(prims, Colour{0, 0, 0}, box));
  const double X = 1.2 * hi.x, Y = 1.2 * hi.y, Z = 1.2 * hi.z;
  EXPECT_TRUE(linesMatch(prims, Colour{0, 0, 0.5},
                         {{{0, lo.y, 0}, {X, lo.y, 0}}, {{0, lo.y, 0}, {0, Y, 0}}, {{0, lo.y, 0}, {0, lo.y, Z}}}));

  // Each fan of apex + 9 rim vertices becomes 8 triangles sharing the apex.
  std::vector<const FeedbackPrimitive*> triangles;
  for (const auto& p : prims) {
    if (p.token == GL_POLYGON_TOKEN) triangles.push_back(&p);
  }
  ASSERT_EQ(triangles.size(), 24u);
  struct Arrow {
    double apex[3];
    int axis;  // the rim lies in the plane through the base point normal to this axis
    double basePoint[3];
  };
  const Arrow arrows[3] = {
      {{0, Y + 1, 0}, 1, {0, Y, 0}}, {{X + 1, lo.y, 0}, 0, {X, lo.y, 0}}, {{0, lo.y, Z + 1}, 2, {0, lo.y, Z}}};
  for (int k = 0; k < 3; ++k) {
    const Arrow& arrow = arrows[k];
    for (int t = 0; t < 8; ++t) {
      const FeedbackPrimitive& tri = *triangles[k * 8 + t];
      ASSERT_EQ(tri.vertices.size(), 3u);
      EXPECT_TRUE(samePoint(tri.vertices[0], arrow.apex)) << "arrow " << k << " triangle " << t;
      for (int v = 1; v < 3; ++v) {
        const FeedbackVertex& rim = tri.vertices[v];
        const double d[3] = {rim.x - arrow.basePoint[0], rim.y - arrow.basePoint[1], rim.z - arrow.basePoint[2]};
        EXPECT_NEAR(d[arrow.axis], 0.0, kTol) << "arrow " << k;
        EXPECT_NEAR(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]), 0.25, kTol) << "arrow " << k;
        EXPECT_TRUE(sameColour(rim, Colour{0, 0, 0.5}));
      }
      // Successive rim vertices are 45 degrees apart: a chord of 2 * 0.25 * sin(22.5 degrees).
      const auto& a = tri.vertices[1];
      const auto& b = tri.vertices[2];
      const double chord = std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
      EXPECT_NEAR(chord, 0.5 * std::sin(M_PI / 8), kTol);
    }
  }
}

TEST_F(PointDisplayGlTest, FrameOfAPlainCloudHasBoxAxesAndArrowheadsButNoBaseRectangle) {
  load("plain.ply", plyFile({{-2, 1, -1}, {2, 5, 3}, {0, 3, 0}}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}));
  ASSERT_EQ(cloud.minCorner.y, cloud.baseCorner.y);
  glEnable(GL_LIGHTING);
  const auto prims = captureFeedback([&] { cloud.drawFrame(); });
  size_t lines = 0;
  for (const auto& p : prims) lines += isLine(p);
  EXPECT_EQ(lines, 15u);
  EXPECT_TRUE(linesMatch(prims, Colour{0.8, 0, 0}, {}));
  expectBoxAxesAndArrows(prims, cloud.minCorner, cloud.maxCorner);
  expectStateLeft(1.0f, 1.0f);
}

TEST_F(PointDisplayGlTest, KeyPointColumnShowsTheRedRectangleAtTheBottomAsRead) {
  load("keyed.ply", plyFile({{-2, 1, -1}, {2, 5, 3}, {0, 3, 0}}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
                            "#\nleafSize=0.2\naddKeyPoints=1\n"));
  const PointRecord& lo = cloud.minCorner;
  const PointRecord& hi = cloud.maxCorner;
  const PointRecord& base = cloud.baseCorner;
  ASSERT_GT(base.y, lo.y);
  const auto prims = captureFeedback([&] { cloud.drawFrame(); });
  const double y = base.y;
  EXPECT_TRUE(linesMatch(prims, Colour{0.8, 0, 0},
                         {{{base.x, y, base.z}, {base.x, y, hi.z}},
                          {{base.x, y, hi.z}, {hi.x, y, hi.z}},
                          {{hi.x, y, hi.z}, {hi.x, y, base.z}},
                          {{hi.x, y, base.z}, {base.x, y, base.z}}}));
  expectBoxAxesAndArrows(prims, lo, hi);
}

}  // namespace
