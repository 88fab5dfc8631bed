// The graph layer in a real GL context, read back through feedback: marker colours by
// growth state, graph edges, the skeleton view and the direction arrows.

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "support/gl_test_context.h"
#include "volume_fixture.h"

namespace {

constexpr double kTol = 2e-3;

void expectColour(const FeedbackVertex& v, float r, float g, float b, const char* what) {
  EXPECT_TRUE(std::fabs(v.r - r) < 1e-3 && std::fabs(v.g - g) < 1e-3 && std::fabs(v.b - b) < 1e-3)
      << what << ": " << v.r << " " << v.g << " " << v.b;
}

double distanceTo(const FeedbackVertex& v, const Vec3& p) {
  return length(Vec3(v.x - p.x, v.y - p.y, v.z - p.z));
}

bool isLine(const FeedbackPrimitive& p) {
  return p.token == GL_LINE_TOKEN || p.token == GL_LINE_RESET_TOKEN;
}

class GraphDisplay : public SkeletonTest {
 protected:
  void SetUp() override {
    SkeletonTest::SetUp();
    ensureGlContext();
    // Lit colours equal the current colour: white ambient light, no lamps, colour material.
    const GLfloat white[4] = {1, 1, 1, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, white);
    glDisable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glDisable(GL_CULL_FACE);
    // A column with a side vertex level with the root (outside its cone, never reached).
    makeVolume(volume, 7, 10, 7, 0.2, cellBox(3, 0, 3, 1, 10, 1, {cellAt(6, 0, 3), cellAt(3, 9, 0)}));
    bool ran = false;
    growTree(r, volume, &ran);
    ASSERT_TRUE(ran);
    ASSERT_TRUE(r.visited[1] == 0 && r.visited[5] == 1) << "both states must occur";
    captureFeedback([&] { r.drawGraph(); });  // compiles the marker sphere (draws nothing)
  }
  // The vertex lying `offset` from v, or nVoxels.
  uint32_t vertexAt(const FeedbackVertex& v, double offset) const {
    for (uint32_t i = 0; i < r.nVoxels; ++i)
      if (std::fabs(distanceTo(v, r.positions[i]) - offset) < kTol) return i;
    return r.nVoxels;
  }
  VoxelVolume volume;
};

TEST_F(GraphDisplay, MarkersColouredByStateRootPairRedAndEdgesAsLines) {
  std::set<uint32_t> marked;
  std::set<std::pair<uint32_t, uint32_t>> drawnEdges;
  size_t lines = 0;
  for (const auto& p : captureFeedback([&] { r.drawGraph(); })) {
    if (p.token == GL_POLYGON_TOKEN) {
      const uint32_t owner = vertexAt(p.vertices[0], r.markerSize * volume.voxelSize);
      ASSERT_LT(owner, r.nVoxels);
      marked.insert(owner);
      const bool red = int(owner) == r.rootVoxel || int(owner) == r.secondVoxel;
      for (const auto& v : p.vertices) {
        if (red) expectColour(v, 0.8f, 0.0f, 0.0f, "root pair");
        if (!red && r.visited[owner]) expectColour(v, 0.9f, 0.5f, 0.1f, "visited");
        if (!red && !r.visited[owner]) expectColour(v, 0.05f, 0.7f, 0.2f, "unvisited");
      }
    } else if (isLine(p)) {
      ++lines;
      expectColour(p.vertices[0], 0.15f, 0.1f, 0.7f, "edge");
      const uint32_t a = vertexAt(p.vertices[0], 0.0), b = vertexAt(p.vertices[1], 0.0);
      ASSERT_LT(a, b);
      ASSERT_LT(b, r.nVoxels);
      EXPECT_GT(r.distances.length(a, b), 0.0);
      drawnEdges.insert({a, b});
    }
  }
  EXPECT_EQ(marked.size(), r.nVoxels);
  size_t edges = 0;
  for (uint32_t i = 0; i < r.nVoxels; ++i)
    for (uint32_t j = i + 1; j < r.nVoxels; ++j) edges += r.distances.length(i, j) > 0.0;
  EXPECT_EQ(lines, edges);
  EXPECT_EQ(drawnEdges.size(), edges);
}

// Fault pinned: a root pair left from a larger graph was drawn from beyond the arrays.
TEST_F(GraphDisplay, RootPairBeyondARebuiltGraphIsNotDrawn) {
  r.rootVoxel = 500;
  r.secondVoxel = 501;
  const auto prims = captureFeedback([&] { r.drawGraph(); });
  for (const auto& p : prims) EXPECT_TRUE(p.token != GL_POLYGON_TOKEN || p.vertices[0].g > 0.4f) << "no red marker";
  EXPECT_GT(countTokens(prims, GL_POLYGON_TOKEN), 0u);
}

TEST_F(GraphDisplay, SkeletonViewAfterShortestPathTree) {
  {
    StdoutCapture progress;
    ASSERT_TRUE(r.buildShortestPathTree());
  }
  g_bShowPathTree = true;
  size_t points = 0, lines = 0;
  for (const auto& p : captureFeedback([&] { r.drawGraph(); })) {
    if (p.token == GL_POINT_TOKEN) {
      expectColour(p.vertices[0], 0.0f, 0.0f, 0.8f, "skeleton point");
      EXPECT_LT(distanceTo(p.vertices[0], r.skeletonNodes[points++].position), kTol);
    } else if (isLine(p)) {
      expectColour(p.vertices[0], 0.8f, 0.0f, 0.0f, "skeleton line");
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
  size_t lines = 0, coneTriangles = 0;
  for (const auto& p : captureFeedback([&] { r.drawGraph(); })) {
    if (isLine(p)) {
      expectColour(p.vertices[0], 1.0f, 0.0f, 0.0f, "arrow shaft");
      const Vec3 &d = r.directions[lines], &from = r.positions[lines];
      const double s = length(d) > 0 ? 0.4 / length(d) : 0.0;
      EXPECT_LT(distanceTo(p.vertices[0], from), kTol);
      EXPECT_LT(distanceTo(p.vertices[1], Vec3(from.x + s * d.x, from.y + s * d.y, from.z + s * d.z)), kTol)
          << "vertex " << lines;
      ++lines;
    } else if (p.token == GL_POLYGON_TOKEN && p.vertices[0].r > 0.99f && p.vertices[0].g < 0.01f) {
      ++coneTriangles;
      ASSERT_EQ(p.vertices.size(), 3u);
      // The fan's first vertex is the tip; rim points lie 0.1 from it (0 for a zero direction).
      for (int k = 1; k < 3; ++k) {
        const double slant = length(Vec3(p.vertices[k].x - p.vertices[0].x, p.vertices[k].y - p.vertices[0].y,
                                         p.vertices[k].z - p.vertices[0].z));
        EXPECT_TRUE(std::fabs(slant - 0.1) < kTol || slant < kTol) << slant;
      }
    }
  }
  EXPECT_EQ(lines, r.nVoxels);
  EXPECT_EQ(coneTriangles, 16u * r.nVoxels);
}

}  // namespace
