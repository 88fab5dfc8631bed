#include "tree/branch_mesh.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>

#include "settings/settings.h"
#include "tree/tree_model.h"

namespace {

struct ColourStop {
  int index;
  int r, g, b;
};

// Anchors of the depth ramp; entries in between are interpolated linearly. The red stays
// full from 143 to 173 and then falls unevenly to 205.
constexpr ColourStop kColourStops[] = {
    {0, 0, 0, 146},   {16, 0, 0, 255},  {45, 0, 255, 255}, {64, 110, 255, 150}, {86, 255, 255, 0}, {119, 255, 127, 0},
    {143, 255, 0, 0}, {173, 255, 0, 0}, {196, 242, 0, 0},  {224, 224, 0, 0},    {255, 205, 0, 0},
};

constexpr int blend(int a, int b, int pos, int span) {
  return (a * (span - pos) + b * pos + span / 2) / span;
}

struct ColourTable {
  unsigned char rgb[256][3] = {};
};

constexpr ColourTable makeColourTable() {
  ColourTable t;
  constexpr int stops = sizeof(kColourStops) / sizeof(kColourStops[0]);
  for (int s = 0; s + 1 < stops; ++s) {
    const ColourStop& a = kColourStops[s];
    const ColourStop& b = kColourStops[s + 1];
    int span = b.index - a.index;
    for (int i = a.index; i <= b.index; ++i) {
      t.rgb[i][0] = static_cast<unsigned char>(blend(a.r, b.r, i - a.index, span));
      t.rgb[i][1] = static_cast<unsigned char>(blend(a.g, b.g, i - a.index, span));
      t.rgb[i][2] = static_cast<unsigned char>(blend(a.b, b.b, i - a.index, span));
    }
  }
  return t;
}

constexpr ColourTable kTable = makeColourTable();

// The first frame vector u, perpendicular to d; zero for an invalid d.
Vec3 firstFrameU(const Vec3& d) {
  if (!d.valid()) return Vec3(0, 0, 0);
  const double dx = d.x, dy = d.y, dz = d.z;
  if (dx * dy * dz != 0.0) {
    double s = std::sqrt(dy * dy + dz * dz);
    return cross(Vec3(0, dz / s, -dy / s), d);
  }
  return perpendicularAtZero(d);
}

TubeRing ringAt(const Vec3& p, double radius, const RingFrame& frame, int sides) {
  TubeRing ring;
  ring.normals.reserve(sides);
  ring.vertices.reserve(sides);
  const double half = 0.5 * radius;
  for (int j = 0; j < sides; ++j) {
    double theta = j * 2.0 * kPi / sides;
    double c = std::cos(theta), s = std::sin(theta);
    // Ring points are plain coordinates: the status of a degenerate frame or node is not
    // carried into them.
    Vec3 n = c * frame.u + s * frame.w;
    Vec3 v = p + n * half;
    n.status = v.status = kVecValid;
    ring.normals.push_back(n);
    ring.vertices.push_back(v);
  }
  return ring;
}

}  // namespace

const unsigned char* depthColour(int index) {
  return kTable.rgb[std::clamp(index, 0, 255)];
}

void subdivideBranch(std::vector<Vec3>& nodes, std::vector<double>& radii) {
  const size_t m = nodes.size();
  if (m < 2 || radii.size() != m) return;
  auto reflect = [](const Vec3& a, const Vec3& b) { return 2.0 * a - b; };
  std::vector<Vec3> outNodes;
  std::vector<double> outRadii;
  outNodes.reserve(2 * m - 1);
  outRadii.reserve(2 * m - 1);
  outNodes.push_back(nodes[0]);
  outRadii.push_back(radii[0]);
  for (size_t i = 0; i + 1 < m; ++i) {
    Vec3 before = i == 0 ? reflect(nodes[0], nodes[1]) : nodes[i - 1];
    Vec3 after = i + 2 < m ? nodes[i + 2] : reflect(nodes[m - 1], nodes[m - 2]);
    outNodes.push_back(catmullRomPoint(before, nodes[i], nodes[i + 1], after, 0.5));
    outRadii.push_back(radii[i] + 0.5 * (radii[i + 1] - radii[i]));
    outNodes.push_back(nodes[i + 1]);
    outRadii.push_back(radii[i + 1]);
  }
  nodes.swap(outNodes);
  radii.swap(outRadii);
}

// Each frame after the first is carried on from the previous one (carryFrame); once a frame
// is invalid, every later one is too.
std::vector<TubeRing> tubeRings(const std::vector<Vec3>& nodes, const std::vector<double>& radii, int sides) {
  const size_t c = nodes.size();
  std::vector<TubeRing> rings;
  if (c < 2 || radii.size() < c || sides <= 0) return rings;
  rings.reserve(c);
  Vec3 d = nodes[1] - nodes[0];
  RingFrame frame;
  frame.u = normalised(firstFrameU(d));
  frame.w = normalised(crossOrZero(d, frame.u));
  rings.push_back(ringAt(nodes[0], radii[0], frame, sides));
  for (size_t i = 0; i + 1 < c; ++i) {
    frame = carryFrame(frame, i + 2 < c ? nodes[i + 2] - nodes[i + 1] : nodes[i + 1] - nodes[i]);
    rings.push_back(ringAt(nodes[i + 1], radii[i + 1], frame, sides));
  }
  return rings;
}

BranchTube tubeStrips(const std::vector<Vec3>& nodes, const std::vector<double>& radii, int sides) {
  BranchTube tube;
  tube.sides = sides;
  const std::vector<TubeRing> rings = tubeRings(nodes, radii, sides);
  if (rings.size() < 2) return tube;
  const size_t vertexCount = (rings.size() - 1) * tube.stripSize();
  tube.normals.reserve(vertexCount);
  tube.vertices.reserve(vertexCount);
  tube.texCoords.reserve(2 * vertexCount);
  auto add = [&tube](const TubeRing& ring, int j, double s, double t) {
    tube.normals.push_back(ring.normals[j]);
    tube.vertices.push_back(ring.vertices[j]);
    tube.texCoords.push_back(s);
    tube.texCoords.push_back(t);
  };
  const double last = static_cast<double>(rings.size() - 1);
  for (size_t i = 0; i + 1 < rings.size(); ++i) {
    const TubeRing& lower = rings[i];
    const TubeRing& upper = rings[i + 1];
    const double tLower = static_cast<double>(i) / last;
    const double tUpper = static_cast<double>(i + 1) / last;
    for (int j = 0; j < sides; ++j) {
      const double s = static_cast<double>(j) / sides;
      add(upper, j, s, tUpper);
      add(lower, j, s, tLower);
    }
    add(upper, 0, 1.0, tUpper);
    add(lower, 0, 1.0, tLower);
  }
  return tube;
}

std::vector<BranchTube> branchTubes(const TreeModel& model) {
  std::vector<BranchTube> tubes;
  for (size_t b = 0; b < model.branches.size(); ++b) {
    std::vector<Vec3> nodes = model.branches[b]->nodes;
    std::vector<double> radii = model.branches[b]->radii;
    if (nodes.size() < 2 || radii.size() != nodes.size()) continue;
    subdivideBranch(nodes, radii);
    tubes.push_back(tubeStrips(nodes, radii, b == 0 ? 12 : 8));
    tubes.back().branch = static_cast<uint32_t>(b);
  }
  return tubes;
}

std::vector<SkeletonLine> skeletonLines(const TreeModel& model) {
  const std::vector<TreeSegment>& segments = model.segments;
  std::vector<SkeletonLine> lines;
  if (segments.empty()) return lines;
  const bool levelDepths = g_level >= 1 && model.depths.size() == segments.size() && model.depths[0] >= 1;

  // Breadth-first through the traced children; each segment is drawn once.
  std::vector<int64_t> walkDepth;
  std::vector<char> reached(segments.size(), 0);
  std::deque<std::pair<uint32_t, int64_t>> queue;
  queue.emplace_back(0u, 1);
  reached[0] = 1;
  int64_t deepest = 1;
  while (!queue.empty()) {
    auto [k, depth] = queue.front();
    queue.pop_front();
    lines.push_back(SkeletonLine{k, 0});
    walkDepth.push_back(depth);
    deepest = std::max(deepest, depth);
    const TreeSegment& seg = segments[k];
    for (uint32_t e = 0; e < tracedChildCount(seg); ++e) {
      uint32_t child = seg.children[e];
      if (child >= segments.size() || reached[child]) continue;
      reached[child] = 1;
      queue.emplace_back(child, depth + 1);
    }
  }

  for (size_t n = 0; n < lines.size(); ++n) {
    int64_t depth = levelDepths ? model.depths[lines[n].segment] : walkDepth[n];
    int64_t levels = levelDepths ? g_level : deepest;
    lines[n].colourIndex = static_cast<int>(std::clamp<int64_t>(depth * 255 / levels, 0, 255));
  }
  return lines;
}
