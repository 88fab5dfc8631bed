#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "app/settings.h"
#include "support/gl_test_context.h"
#include "tree/tree_model.h"

namespace {

constexpr double kTol = 1e-4;

// Area of a planar convex polygon from its feedback vertices.
double polygonArea(const FeedbackPrimitive& p) {
  double ax = 0, ay = 0, az = 0;
  const FeedbackVertex& o = p.vertices[0];
  for (size_t i = 1; i + 1 < p.vertices.size(); ++i) {
    const FeedbackVertex &b = p.vertices[i], &c = p.vertices[i + 1];
    double ux = b.x - o.x, uy = b.y - o.y, uz = b.z - o.z;
    double vx = c.x - o.x, vy = c.y - o.y, vz = c.z - o.z;
    ax += uy * vz - uz * vy;
    ay += uz * vx - ux * vz;
    az += ux * vy - uy * vx;
  }
  return 0.5 * std::sqrt(ax * ax + ay * ay + az * az);
}

// Lighting with colour material and no light switched on: a vertex shows the global
// ambient (0.2) times its colour, so the colour order survives the lighting the shape enables.
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
};

}  // namespace

// A straight vertical stem: each segment is a triangular prism side of 3 quads whose corners
// sit at half the width times the leaf size from the centre line, at 0, 120 and 240 degrees
// from +z (the first side vector for a direction along +y).
TEST_F(LeafShapeGl, StemIsATriangularTube) {
  TreeModel model;
  model.stemColor = Vec3(0.5, 0.25, 1.0);
  model.stemPoints = {Vec3(0, 0, 0), Vec3(0, 1, 0), Vec3(0, 2, 0)};
  model.stemWidths = {0.4, 0.4, 0.2};
  g_dLeafSize = 2.0;
  const float leafColor[3] = {1, 1, 1};
  auto prims = captureLeafShape(model, leafColor);

  ASSERT_EQ(prims.size(), static_cast<size_t>(countTokens(prims, GL_POLYGON_TOKEN)));
  double area[2] = {0, 0};
  const double rho[3] = {0.4, 0.4, 0.2};  // 0.5 * width * leaf size
  for (const auto& p : prims) {
    for (const auto& v : p.vertices) {
      int k = static_cast<int>(std::lround(v.y / 2.0));
      ASSERT_TRUE(k >= 0 && k <= 2 && std::fabs(v.y - 2.0 * k) < kTol) << v.y;
      double angle = std::atan2(v.x, v.z) * 3.0 / (2.0 * M_PI);
      EXPECT_NEAR(angle, std::round(angle), 1e-4);
      EXPECT_NEAR(std::hypot(v.x, v.z), rho[k], kTol);
      EXPECT_NEAR(v.r, 0.2f * 0.5f, 1e-3);
      EXPECT_NEAR(v.g, 0.2f * 0.25f, 1e-3);
      EXPECT_NEAR(v.b, 0.2f * 1.0f, 1e-3);
    }
    double ymin = std::min(p.vertices[0].y, std::min(p.vertices[1].y, p.vertices[2].y));
    area[ymin > 1.0 ? 1 : 0] += polygonArea(p);
  }
  // Lateral areas: three trapezoids with parallel sides rho*sqrt(3) at each end; their
  // height is the slant between the face centres, at rho/2 from the centre line.
  EXPECT_NEAR(area[0], 3 * 0.5 * (0.4 + 0.4) * std::sqrt(3.0) * 2.0, 1e-3);
  EXPECT_NEAR(area[1], 3 * 0.5 * (0.4 + 0.2) * std::sqrt(3.0) * std::hypot(2.0, 0.5 * (0.4 - 0.2)), 1e-3);
  // 3 quads per segment, however the rasteriser splits them.
  EXPECT_TRUE(prims.size() == 6 || prims.size() == 12) << prims.size();
}

// Two equal stem points: the frame is zero from the first of them on, so the stem collapses
// onto its centre line; one stem point draws no stem at all.
TEST_F(LeafShapeGl, DegenerateStems) {
  TreeModel model;
  model.stemPoints = {Vec3(0, 0, 0), Vec3(0, 0, 0), Vec3(0, 1, 0)};
  model.stemWidths = {0.4, 0.4, 0.4};
  const float color[3] = {1, 1, 1};
  auto prims = captureLeafShape(model, color);
  for (const auto& p : prims)
    for (const auto& v : p.vertices) {
      EXPECT_NEAR(v.x, 0.0, kTol);
      EXPECT_NEAR(v.z, 0.0, kTol);
    }
  model.stemPoints.resize(1);
  model.stemWidths.resize(1);
  EXPECT_TRUE(captureLeafShape(model, color).empty());
}

// The blade: one triangle per record, vertices scaled by the leaf size, in the leaf colour
// passed in, drawn after the stem (in the stem colour).
TEST_F(LeafShapeGl, BladeScaledByLeafSizeAfterStem) {
  TreeModel model;
  model.stemColor = Vec3(0.0, 1.0, 0.0);
  model.stemPoints = {Vec3(0, -1, 0), Vec3(0, 0, 0)};
  model.stemWidths = {0.1, 0.1};
  model.leafVertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 2, 0), Vec3(-1, 0, 0)};
  model.leafTexCoords = {0, 0, 1, 0, 0, 1, 1, 1};
  model.leafTriangles = {0, 1, 2, 0, 2, 3};
  model.leafNormals = {Vec3(0, 0, 1), Vec3(0, 0, 1)};
  g_dLeafSize = 3.0;
  const float leafColor[3] = {1.0f, 0.0f, 0.5f};
  auto prims = captureLeafShape(model, leafColor);

  std::vector<const FeedbackPrimitive*> blade;
  bool bladeSeen = false;
  for (const auto& p : prims) {
    bool isBlade = p.vertices[0].r > 0.1f;
    if (isBlade) {
      blade.push_back(&p);
      bladeSeen = true;
      EXPECT_NEAR(p.vertices[0].b, 0.2f * 0.5f, 1e-3);
    } else {
      EXPECT_FALSE(bladeSeen) << "stem drawn after the blade";
      EXPECT_NEAR(p.vertices[0].g, 0.2f, 1e-3);
    }
  }
  ASSERT_EQ(blade.size(), 2u);
  EXPECT_NEAR(polygonArea(*blade[0]), 0.5 * 3 * 6, 1e-3);
  EXPECT_NEAR(polygonArea(*blade[1]), 0.5 * 3 * 6, 1e-3);
  double top = 0;
  for (const auto& v : blade[0]->vertices) top = std::max(top, v.y);
  EXPECT_NEAR(top, 6.0, kTol);

  // The shape leaves lighting on, texturing off and the leaf colour current.
  glEnable(GL_TEXTURE_2D);
  model.drawLeafShape(leafColor);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  GLfloat current[4];
  glGetFloatv(GL_CURRENT_COLOR, current);
  EXPECT_FLOAT_EQ(current[0], 1.0f);
  EXPECT_FLOAT_EQ(current[2], 0.5f);
  glDisable(GL_LIGHTING);
}

// The compiled list takes the leaf size and leaf colour of the time of compiling, and every
// compile replaces the previous list.
TEST_F(LeafShapeGl, CompileTakesCurrentSettingsAndReplacesList) {
  TreeModel model;
  model.leafVertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
  model.leafTexCoords = {0, 0, 0, 0, 0, 0};
  model.leafTriangles = {0, 1, 2};
  model.leafNormals = {Vec3(0, 0, 1)};
  g_dLeafSize = 2.0;
  model.compileLeafShape();
  const unsigned first = model.leafShapeList;
  ASSERT_NE(first, 0u);
  EXPECT_TRUE(glIsList(first));
  g_dLeafSize = 5.0;  // after compiling: no effect on the list
  auto prims = captureFeedback([&] {
    glCallList(model.leafShapeList);
    glDisable(GL_LIGHTING);
  });
  ASSERT_EQ(prims.size(), 1u);
  EXPECT_NEAR(polygonArea(prims[0]), 0.5 * 2 * 2, 1e-3);

  model.compileLeafShape();
  EXPECT_NE(model.leafShapeList, 0u);
  EXPECT_TRUE(glIsList(model.leafShapeList));
  if (model.leafShapeList != first) {
    EXPECT_FALSE(glIsList(first));
  }
  prims = captureFeedback([&] {
    glCallList(model.leafShapeList);
    glDisable(GL_LIGHTING);
  });
  ASSERT_EQ(prims.size(), 1u);
  EXPECT_NEAR(polygonArea(prims[0]), 0.5 * 5 * 5, 1e-3);
  glDeleteLists(model.leafShapeList, 1);
}

// A model filled by hand with an index past its vertices skips that triangle.
TEST_F(LeafShapeGl, BadIndexSkipsTriangle) {
  TreeModel model;
  model.leafVertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(0, 1, 0)};
  model.leafTriangles = {0, 1, 2, 0, 1, 3};
  model.leafNormals = {Vec3(0, 0, 1), Vec3(0, 0, 1)};
  const float color[3] = {1, 1, 1};
  EXPECT_EQ(captureLeafShape(model, color).size(), 1u);
}
