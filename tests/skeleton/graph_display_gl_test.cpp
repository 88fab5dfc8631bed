// The graph layer in a real GL context, read back through feedback: marker colours by
// growth state, graph edges, the skeleton view and the direction arrows.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "app/settings.h"
#include "skeleton/tree_reconstructor.h"
#include "support/gl_test_context.h"
#include "support/test_support.h"
#include "volume_fixture.h"

namespace {

constexpr double kTol = 2e-3;

struct Rgb {
  float r, g, b;
};

// Lit colours equal the current colour: full white ambient light, no lamps, colour material.
void flatLighting() {
  const GLfloat white[4] = {1, 1, 1, 1};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, white);
  glDisable(GL_LIGHT0);
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glDisable(GL_CULL_FACE);
}

void expectColour(const FeedbackVertex& v, Rgb c, const char* what) {
  EXPECT_NEAR(v.r, c.r, 1e-3) << what;
  EXPECT_NEAR(v.g, c.g, 1e-3) << what;
  EXPECT_NEAR(v.b, c.b, 1e-3) << what;
}

bool near(const FeedbackVertex& v, const Vec3& p) {
  return std::fabs(v.x - p.x) < kTol && std::fabs(v.y - p.y) < kTol && std::fabs(v.z - p.z) < kTol;
}

class GraphDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    resetSettingsToStartValues();
    ensureGlContext();
    flatLighting();
    // A column with two side vertices: after the growth some vertices stay unvisited.
    std::vector<CellSpec> cells;
    for (int y = 0; y < 10; ++y) cells.push_back(cellAt(3, y, 3));
    cells.push_back(cellAt(6, 0, 3));  // level with the root, outside its cone: never reached
    cells.push_back(cellAt(3, 9, 0));
    makeVolume(volume, 7, 10, 7, 0.2, cells);
    StdoutCapture out;
    r.buildVoxelGraph(volume);
    ASSERT_TRUE(r.reconstruct());
    // Compile the marker sphere outside the captures (its first use draws nothing).
    captureFeedback([&] { r.drawGraph(); });
  }
  void TearDown() override { resetSettingsToStartValues(); }

  VoxelVolume volume;
  TreeReconstructor r;
};

TEST_F(GraphDisplay, MarkersColouredByStateAndEdgesAsLines) {
  const auto prims = captureFeedback([&] { r.drawGraph(); });
  // Each polygon belongs to the marker whose vertex centre lies within the sphere radius.
  const double radius = r.markerSize * volume.voxelSize;
  std::map<uint32_t, size_t> polygonsPerVertex;
  size_t lines = 0;
  std::set<std::pair<uint32_t, uint32_t>> drawnEdges;
  for (const auto& p : prims) {
    if (p.token == GL_POLYGON_TOKEN) {
      const FeedbackVertex& v = p.vertices[0];
      uint32_t owner = r.nVoxels;
      for (uint32_t i = 0; i < r.nVoxels; ++i) {
        const double d = std::sqrt(std::pow(v.x - r.positions[i].x, 2) + std::pow(v.y - r.positions[i].y, 2) +
                                   std::pow(v.z - r.positions[i].z, 2));
        if (std::fabs(d - radius) < kTol) owner = i;
      }
      ASSERT_LT(owner, r.nVoxels);
      ++polygonsPerVertex[owner];
      Rgb want{0.05f, 0.7f, 0.2f};
      if (int(owner) == r.rootVoxel || int(owner) == r.secondVoxel) {
        want = {0.8f, 0.0f, 0.0f};
      } else if (r.visited[owner]) {
        want = {0.9f, 0.5f, 0.1f};
      }
      for (const auto& fv : p.vertices) expectColour(fv, want, "marker");
    } else if (p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN) {
      ++lines;
      expectColour(p.vertices[0], {0.15f, 0.1f, 0.7f}, "edge");
      uint32_t a = r.nVoxels, b = r.nVoxels;
      for (uint32_t i = 0; i < r.nVoxels; ++i) {
        if (near(p.vertices[0], r.positions[i])) a = i;
        if (near(p.vertices[1], r.positions[i])) b = i;
      }
      ASSERT_LT(a, b);
      ASSERT_LT(b, r.nVoxels);
      EXPECT_GT(r.distances.length(a, b), 0.0);
      drawnEdges.insert({a, b});
    }
  }
  EXPECT_EQ(polygonsPerVertex.size(), r.nVoxels);
  size_t edges = 0;
  for (uint32_t i = 0; i < r.nVoxels; ++i)
    for (uint32_t j = i + 1; j < r.nVoxels; ++j) edges += r.distances.length(i, j) > 0.0;
  EXPECT_EQ(lines, edges);
  EXPECT_EQ(drawnEdges.size(), edges);
  // Both states occur in this scene.
  EXPECT_EQ(r.visited[1], 0);
  EXPECT_EQ(r.visited[5], 1);
}

TEST_F(GraphDisplay, SkeletonViewAfterShortestPathTree) {
  {
    StdoutCapture progress;
    ASSERT_TRUE(r.buildShortestPathTree());
  }
  g_bShowPathTree = true;
  const auto prims = captureFeedback([&] { r.drawGraph(); });
  size_t points = 0, lines = 0;
  for (const auto& p : prims) {
    if (p.token == GL_POINT_TOKEN) {
      expectColour(p.vertices[0], {0.0f, 0.0f, 0.8f}, "skeleton point");
      EXPECT_TRUE(near(p.vertices[0], r.skeletonNodes[points].position));
      ++points;
    } else if (p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN) {
      expectColour(p.vertices[0], {0.8f, 0.0f, 0.0f}, "skeleton line");
      ++lines;
    }
  }
  EXPECT_EQ(points, r.skeletonNodes.size());
  EXPECT_EQ(lines, r.skeletonNodes.size() - 1);
}

TEST_F(GraphDisplay, DirectionArrows) {
  g_bShowDirections = true;
  g_bShowPathTree = true;  // keeps the graph edges out of the line count
  r.skeletonNodes.clear();
  const auto prims = captureFeedback([&] { r.drawGraph(); });
  size_t lines = 0, coneTriangles = 0;
  for (const auto& p : prims) {
    if (p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN) {
      expectColour(p.vertices[0], {1.0f, 0.0f, 0.0f}, "arrow shaft");
      const Vec3& d = r.directions[lines];
      const double len = length(d);
      const Vec3& from = r.positions[lines];
      EXPECT_TRUE(near(p.vertices[0], from));
      const Vec3 tip =
          len > 0 ? Vec3(from.x + 0.4 * d.x / len, from.y + 0.4 * d.y / len, from.z + 0.4 * d.z / len) : from;
      EXPECT_TRUE(near(p.vertices[1], tip)) << "vertex " << lines;
      ++lines;
    } else if (p.token == GL_POLYGON_TOKEN && p.vertices[0].r > 0.99f && p.vertices[0].g < 0.01f) {
      ++coneTriangles;
      ASSERT_EQ(p.vertices.size(), 3u);
      // The fan's first vertex is the tip; rim points lie 0.1 from it (0 for a zero direction).
      for (int k = 1; k < 3; ++k) {
        const double dx = p.vertices[k].x - p.vertices[0].x, dy = p.vertices[k].y - p.vertices[0].y,
                     dz = p.vertices[k].z - p.vertices[0].z;
        const double slant = std::sqrt(dx * dx + dy * dy + dz * dz);
        EXPECT_TRUE(std::fabs(slant - 0.1) < kTol || slant < kTol) << slant;
      }
    }
  }
  EXPECT_EQ(lines, r.nVoxels);
  EXPECT_EQ(coneTriangles, 16u * r.nVoxels);
}

TEST_F(GraphDisplay, RootPairBeyondARebuiltGraphIsNotDrawn) {
  r.rootVoxel = 500;
  r.secondVoxel = 501;
  const auto prims = captureFeedback([&] { r.drawGraph(); });
  for (const auto& p : prims) {
    if (p.token == GL_POLYGON_TOKEN) {
      EXPECT_GT(p.vertices[0].g, 0.4f) << "no red marker";
    }
  }
  EXPECT_GT(countTokens(prims, GL_POLYGON_TOKEN), 0u);
}

}  // namespace
