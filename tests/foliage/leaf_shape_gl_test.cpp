#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "settings/settings.h"
#include "support/gl_test_context.h"
#include "tree/tree_model.h"

namespace {

constexpr double kTol = 1e-4;
const float kWhite[3] = {1, 1, 1};

// Area of a planar convex polygon from its feedback vertices.
double polygonArea(const FeedbackPrimitive& p) {
  auto at = [&](size_t i) { return Vec3(p.vertices[i].x, p.vertices[i].y, p.vertices[i].z); };
  Vec3 sum(0, 0, 0);
  for (size_t i = 1; i + 1 < p.vertices.size(); ++i) {
    Vec3 c = cross(difference(at(i), at(0)), difference(at(i + 1), at(0)));
    sum = Vec3(sum.x + c.x, sum.y + c.y, sum.z + c.z);
  }
  return 0.5 * length(sum);
}

// Lighting with colour material and no light switched on: a vertex shows the global ambient
// (0.2) times its colour, so the colour order survives the lighting the shape enables.
std::vector<FeedbackPrimitive> captureLeafShape(const TreeModel& model, const float color[3]) {
  return captureFeedback([&] {
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    model.drawLeafShape(color);
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_LIGHTING);
  });
}

class LeafShapeGl : public testing::Test {
 protected:
  void SetUp() override {
    resetSettingsToStartValues();
    ensureGlContext();
  }
  void TearDown() override { resetSettingsToStartValues(); }
  TreeModel model;
};

}  // namespace

// A straight vertical stem: each segment is a triangular prism side of 3 quads whose corners
// sit at half the width times the leaf size from the centre line, at 0, 120 and 240 degrees
// from +z, in the stem colour.
TEST_F(LeafShapeGl, StemIsATriangularTube) {
  model.stemColor = Vec3(0.5, 0.25, 1.0);
  model.stemPoints = {Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 2, 0)};
  model.stemWidths = {0.4, 0.4, 0.2};
  g_dLeafSize = 2.0;
  auto prims = captureLeafShape(model, kWhite);
  // 3 quads per segment, however the rasteriser splits them.
  ASSERT_TRUE(prims.size() == 6 || prims.size() == 12) << prims.size();
  ASSERT_EQ(prims.size(), countTokens(prims, GL_POLYGON_TOKEN));
  double area[2] = {0, 0};
  const double rho[3] = {0.4, 0.4, 0.2};  // 0.5 * width * leaf size
  for (const auto& p : prims) {
    for (const auto& v : p.vertices) {
      int k = static_cast<int>(std::lround(v.y / 2.0));
      ASSERT_TRUE(k >= 0 && k <= 2 && std::fabs(v.y - 2.0 * k) < kTol) << v.y;
      double turns = std::atan2(v.x, v.z) * 3.0 / (2.0 * M_PI);
      EXPECT_NEAR(turns, std::round(turns), 1e-4);
      EXPECT_NEAR(std::hypot(v.x, v.z), rho[k], kTol);
      EXPECT_NEAR(std::fabs(v.r - 0.2f * 0.5f) + std::fabs(v.g - 0.2f * 0.25f) + std::fabs(v.b - 0.2f), 0.0, 1e-3);
    }
    double ymin = std::min({p.vertices[0].y, p.vertices[1].y, p.vertices[2].y});
    area[ymin > 1.0 ? 1 : 0] += polygonArea(p);
  }
  // Three trapezoids per segment, parallel sides rho sqrt(3); the height is the slant between
  // the face centres, at rho / 2 from the centre line.
  EXPECT_NEAR(area[0], 3 * 0.5 * (0.4 + 0.4) * std::sqrt(3.0) * 2.0, 1e-3);
  EXPECT_NEAR(area[1], 3 * 0.5 * (0.4 + 0.2) * std::sqrt(3.0) * std::hypot(2.0, 0.5 * (0.4 - 0.2)), 1e-3);
}

TEST_F(LeafShapeGl, HandFilledDegenerateModels) {
  // Regression: two equal stem points give a zero frame from the first of them on, so the stem
  // collapses onto its centre line (no NaN); one stem point draws no stem at all.
  model.stemPoints = {Vec3(0, 0, 0), Vec3(0, 0, 0), Vec3(0, 1, 0)};
  model.stemWidths = {0.4, 0.4, 0.4};
  auto prims = captureLeafShape(model, kWhite);
  EXPECT_FALSE(prims.empty());
  for (const auto& p : prims)
    for (const auto& v : p.vertices) EXPECT_TRUE(std::hypot(v.x, v.z) < kTol && std::isfinite(v.y));
  model.stemPoints.resize(1);
  model.stemWidths.resize(1);
  EXPECT_TRUE(captureLeafShape(model, kWhite).empty());
  // Regression: an index past the vertices skips its triangle instead of reading past the list.
  model.leafVertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
  model.leafTriangles = {0, 1, 2, 0, 1, 3};
  model.leafNormals = {Vec3(0, 0, 1), Vec3(0, 0, 1)};
  EXPECT_EQ(captureLeafShape(model, kWhite).size(), 1u);
}

// One triangle per blade record, vertices scaled by the leaf size, in the leaf colour passed
// in, drawn after the stem (in the stem colour). The shape leaves lighting on, texturing off
// and the leaf colour current.
TEST_F(LeafShapeGl, BladeScaledByLeafSizeAfterStem) {
  model.stemColor = Vec3(0.0, 1.0, 0.0);
  model.stemPoints = {Vec3(0, -1, 0), Vec3(0, 0, 0)};
  model.stemWidths = {0.1, 0.1};
  model.leafVertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 2, 0), Vec3(-1, 0, 0)};
  model.leafTexCoords = {0, 0, 1, 0, 0, 1, 1, 1};
  model.leafTriangles = {0, 1, 2, 0, 2, 3};
  model.leafNormals = {Vec3(0, 0, 1), Vec3(0, 0, 1)};
  g_dLeafSize = 3.0;
  const float leafColor[3] = {1.0f, 0.0f, 0.5f};
  const std::vector<FeedbackPrimitive> prims = captureLeafShape(model, leafColor);
  std::vector<const FeedbackPrimitive*> blade;
  for (const auto& p : prims) {
    if (p.vertices[0].r > 0.1f) {
      blade.push_back(&p);
      EXPECT_NEAR(p.vertices[0].b, 0.2f * 0.5f, 1e-3);
    } else {
      EXPECT_TRUE(blade.empty()) << "stem drawn after the blade";
      EXPECT_NEAR(p.vertices[0].g, 0.2f, 1e-3);
    }
  }
  ASSERT_EQ(blade.size(), 2u);
  for (const FeedbackPrimitive* p : blade) EXPECT_NEAR(polygonArea(*p), 0.5 * 3 * 6, 1e-3);

  glEnable(GL_TEXTURE_2D);
  model.drawLeafShape(leafColor);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  GLfloat current[4];
  glGetFloatv(GL_CURRENT_COLOR, current);
  EXPECT_EQ(std::vector<float>(current, current + 3), std::vector<float>(leafColor, leafColor + 3));
  glDisable(GL_LIGHTING);
}
