#include "tree/scan_exports.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <unordered_map>

#include "tree/branch_mesh.h"
#include "tree/tree_model.h"

namespace {

// The tube surface sits at half the stored node radius (branch_mesh.cpp, ringAt).
constexpr double kDrawnRadius = 0.5;

double at(const Vec3& v, int i) {
  return i == 0 ? v.x : (i == 1 ? v.y : v.z);
}
double& at(Vec3& v, int i) {
  return i == 0 ? v.x : (i == 1 ? v.y : v.z);
}

bool same(const Vec3& a, const Vec3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

bool finite(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Exact node position as a map key; -0 and +0 are the same key.
struct PositionKey {
  double x, y, z;
  explicit PositionKey(const Vec3& v) : x(v.x + 0.0), y(v.y + 0.0), z(v.z + 0.0) {}
  bool operator==(const PositionKey& o) const { return x == o.x && y == o.y && z == o.z; }
};
struct PositionKeyHash {
  size_t operator()(const PositionKey& k) const {
    std::hash<double> h;
    size_t seed = h(k.x);
    seed ^= h(k.y) + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
    seed ^= h(k.z) + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
    return seed;
  }
};

// v with a fixed number of decimals, without trailing zeros: mesh files are large, and their
// readers take single precision anyway.
void appendFixed(std::string& out, double v, int decimals) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) {
    appendNumber(out, v);
    return;
  }
  char* end = result.ptr;
  while (end > buffer && end[-1] == '0') --end;
  if (end > buffer && end[-1] == '.') --end;
  if (end - buffer == 2 && buffer[0] == '-' && buffer[1] == '0') {
    out += '0';  // no "-0"
    return;
  }
  out.append(buffer, end);
}

void appendShort(std::string& out, double v) {
  appendFixed(out, v, 4);
}

void appendPoint(std::string& out, const char* prefix, const Vec3& p) {
  out += prefix;
  appendNumber(out, p.x);
  out += ' ';
  appendNumber(out, p.y);
  out += ' ';
  appendNumber(out, p.z);
}

// Mesh vertices to the micrometre of the file's units (metres for real scans).
void appendMeshPoint(std::string& out, const char* prefix, const Vec3& p) {
  out += prefix;
  appendFixed(out, p.x, 6);
  out += ' ';
  appendFixed(out, p.y, 6);
  out += ' ';
  appendFixed(out, p.z, 6);
}

void appendIndex(std::string& out, size_t v) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  out.append(buffer, result.ptr);
}

void appendNormal(std::string& out, const ScanFrame& frame, const Vec3& modelNormal) {
  Vec3 n = directionToScan(frame, modelNormal);
  const double len = length(n);
  if (len > 0.0) n /= len;
  out += "vn ";
  appendShort(out, n.x);
  out += ' ';
  appendShort(out, n.y);
  out += ' ';
  appendShort(out, n.z);
  out += '\n';
}

// One triangle of 1-based vertex indices; with texture coordinates "v/v/v", else "v//v".
// A triangle of vertices that each carry a normal of the same index ("f a//a b//b c//c").
void appendFace(std::string& out, size_t a, size_t b, size_t c, bool mirror) {
  if (mirror) std::swap(b, c);
  out += 'f';
  for (size_t v : {a, b, c}) {
    out += ' ';
    appendIndex(out, v);
    out += "//";
    appendIndex(out, v);
  }
  out += '\n';
}

}  // namespace

void appendNumber(std::string& out, double v) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  out.append(buffer, result.ptr);
}

int32_t firstWrittenNode(const TreeModel& model, size_t b) {
  const Branch& branch = *model.branches[b];
  if (branch.nodes.size() < 2 || branch.radii.size() != branch.nodes.size()) return -1;
  for (size_t k = 0; k < branch.nodes.size(); ++k)
    if (!finite(branch.nodes[k]) || !std::isfinite(branch.radii[k])) return -1;
  if (b != 0 || model.segments.empty()) return 0;
  // The growth writes the root segment's start as the node's position with y - 0.2.
  const TreeSegment& root = model.segments[0];
  const bool rootSegment = root.parent == -1 && same(branch.nodes[0], root.start) && same(branch.nodes[1], root.end) &&
                           root.start.x == root.end.x && root.start.z == root.end.z && root.start.y == root.end.y - 0.2;
  if (!rootSegment) return 0;
  return branch.nodes.size() >= 3 ? 1 : -1;
}

Vec3 directionToScan(const ScanFrame& frame, const Vec3& modelDirection) {
  Vec3 file;
  for (int i = 0; i < 3; ++i) at(file, frame.axis[i]) = frame.sign[i] * at(modelDirection, i) / frame.scale;
  return file;
}

bool frameMirrors(const ScanFrame& frame) {
  int inversions = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j) inversions += frame.axis[i] > frame.axis[j];
  const double det = frame.sign[0] * frame.sign[1] * frame.sign[2] * (inversions % 2 ? -1.0 : 1.0);
  return det < 0.0;
}

std::vector<ForkLink> forkLinks(const TreeModel& model) {
  std::vector<ForkLink> links(model.branches.size());
  std::unordered_map<PositionKey, ForkLink, PositionKeyHash> firstHolder;
  for (size_t b = 0; b < model.branches.size(); ++b) {
    const Branch& branch = *model.branches[b];
    const int32_t first = firstWrittenNode(model, b);
    if (first < 0) continue;
    if (b > 0) {
      auto it = firstHolder.find(PositionKey(branch.nodes[first]));
      if (it != firstHolder.end()) links[b] = it->second;
    }
    for (size_t k = first; k < branch.nodes.size(); ++k)
      firstHolder.emplace(PositionKey(branch.nodes[k]), ForkLink{static_cast<int32_t>(b), static_cast<int32_t>(k)});
  }
  return links;
}

std::vector<Cylinder> treeCylinders(const TreeModel& model, const ScanFrame& frame) {
  std::vector<Cylinder> cylinders;
  const std::vector<ForkLink> links = forkLinks(model);
  std::vector<int32_t> firstCylinder(model.branches.size(), -1), firstNode(model.branches.size(), -1);
  for (size_t b = 0; b < model.branches.size(); ++b) {
    const Branch& branch = *model.branches[b];
    const int32_t first = firstNode[b] = firstWrittenNode(model, b);
    if (first < 0) continue;
    firstCylinder[b] = static_cast<int32_t>(cylinders.size());
    // The parent branch comes earlier in the list, so its cylinders are numbered already.
    int32_t parent = -1;
    const ForkLink& link = links[b];
    if (link.branch >= 0) parent = firstCylinder[link.branch] + std::max(link.node - firstNode[link.branch], 1) - 1;
    for (size_t k = first; k + 1 < branch.nodes.size(); ++k) {
      Cylinder c;
      const Vec3 d = branch.nodes[k + 1] - branch.nodes[k];
      c.start = frame.toScan(branch.nodes[k]);
      c.length = frame.lengthToScan(length(d));
      if (c.length > 0.0) {
        c.axis = directionToScan(frame, d);
        c.axis /= length(c.axis);
      }
      c.radius = frame.lengthToScan(kDrawnRadius * 0.5 * (branch.radii[k] + branch.radii[k + 1]));
      c.branch = static_cast<int32_t>(b);
      c.order = branch.order;
      c.parent = parent;
      c.position = static_cast<int32_t>(k) - first;
      parent = static_cast<int32_t>(cylinders.size());
      cylinders.push_back(c);
    }
  }
  return cylinders;
}

std::string cylinderTableCsv(const std::vector<Cylinder>& cylinders) {
  std::string out = "id,start_x,start_y,start_z,axis_x,axis_y,axis_z,length,radius,branch,order,parent,position\n";
  for (size_t i = 0; i < cylinders.size(); ++i) {
    const Cylinder& c = cylinders[i];
    out += std::to_string(i);
    for (double v : {c.start.x, c.start.y, c.start.z, c.axis.x, c.axis.y, c.axis.z, c.length, c.radius}) {
      out += ',';
      appendNumber(out, v);
    }
    for (int32_t v : {c.branch, c.order, c.parent, c.position}) {
      out += ',';
      out += std::to_string(v);
    }
    out += '\n';
  }
  return out;
}

std::string skeletonGraphPly(const TreeModel& model, const ScanFrame& frame) {
  const std::vector<ForkLink> links = forkLinks(model);
  std::vector<std::vector<int64_t>> vertexOf(model.branches.size());
  std::string vertices, edges;
  int64_t vertexCount = 0, edgeCount = 0;
  for (size_t b = 0; b < model.branches.size(); ++b) {
    const Branch& branch = *model.branches[b];
    const int32_t first = firstWrittenNode(model, b);
    if (first < 0) continue;
    std::vector<int64_t>& ids = vertexOf[b];
    ids.assign(branch.nodes.size(), -1);
    for (size_t k = first; k < branch.nodes.size(); ++k) {
      const ForkLink& link = links[b];
      if (k == static_cast<size_t>(first) && link.branch >= 0) {
        ids[k] = vertexOf[link.branch][link.node];
      } else {
        ids[k] = vertexCount++;
        appendPoint(vertices, "", frame.toScan(branch.nodes[k]));
        vertices += ' ';
        appendNumber(vertices, frame.lengthToScan(kDrawnRadius * branch.radii[k]));
        vertices += '\n';
      }
      if (k == static_cast<size_t>(first)) continue;
      edges += std::to_string(ids[k - 1]) + ' ' + std::to_string(ids[k]) + '\n';
      ++edgeCount;
    }
  }
  std::string out =
      "ply\nformat ascii 1.0\n"
      "comment tree skeleton in the scan's coordinates and units; radius is the drawn branch radius\n";
  out += "element vertex " + std::to_string(vertexCount) + "\n";
  out += "property double x\nproperty double y\nproperty double z\nproperty double radius\n";
  out += "element edge " + std::to_string(edgeCount) + "\n";
  out += "property int vertex1\nproperty int vertex2\nend_header\n";
  out += vertices;
  out += edges;
  return out;
}

std::string branchMeshObj(const TreeModel& model, const ScanFrame& frame, const MeshTriangles* leaves) {
  const bool mirror = frameMirrors(frame);
  const std::vector<BranchTube> tubes = branchTubes(model);
  // Strip k joins ring k (odd entries) to ring k + 1 (even entries); each ring is written
  // once, its sides vertices (the tube repeats the seam for its texture coordinate; the mesh
  // closes the ring instead, so each tube is watertight along its length). The tube is
  // refined once, so node k has ring 2k. Vertices first, then faces, in one string sized up front: these files run to
  // tens of megabytes.
  struct TubeRings {
    size_t firstRing = 0, rings = 0, ringSize = 0;
  };
  std::vector<TubeRings> spans(tubes.size());
  size_t vertexCount = 0, faceCount = 0;
  for (size_t t = 0; t < tubes.size(); ++t) {
    const BranchTube& tube = tubes[t];
    const int32_t first = firstWrittenNode(model, tube.branch);
    if (first < 0 || tube.stripCount() == 0) continue;
    TubeRings& span = spans[t];
    span.ringSize = static_cast<size_t>(tube.sides);
    span.firstRing = 2 * static_cast<size_t>(first);
    span.rings = tube.stripCount() + 1 - span.firstRing;
    vertexCount += span.rings * span.ringSize;
    faceCount += (span.rings - 1) * span.ringSize * 2;
  }
  std::string out = "# tree branch mesh in the scan's coordinates and units\ng branches\n";
  out.reserve(vertexCount * 72 + faceCount * 48 + 256);
  for (size_t t = 0; t < tubes.size(); ++t) {
    const BranchTube& tube = tubes[t];
    const TubeRings& span = spans[t];
    for (size_t r = span.firstRing; r < span.firstRing + span.rings; ++r) {
      const size_t strip = r == 0 ? 0 : r - 1;
      const size_t odd = r == 0 ? 1 : 0;
      for (size_t j = 0; j < span.ringSize; ++j) {
        const size_t v = strip * tube.stripSize() + 2 * j + odd;
        appendMeshPoint(out, "v ", frame.toScan(tube.vertices[v]));
        out += '\n';
        appendNormal(out, frame, tube.normals[v]);
      }
    }
  }
  size_t written = 0;  // vertices so far; OBJ indices start at 1
  for (const TubeRings& span : spans) {
    for (size_t r = 0; r + 1 < span.rings; ++r) {
      const size_t lower = written + r * span.ringSize + 1, upper = lower + span.ringSize;  // 1-based
      for (size_t j = 0; j < span.ringSize; ++j) {
        const size_t k = (j + 1) % span.ringSize;
        appendFace(out, upper + j, lower + j, lower + k, mirror);
        appendFace(out, upper + j, lower + k, upper + k, mirror);
      }
    }
    written += span.rings * span.ringSize;
  }
  if (!leaves || leaves->vertices.empty()) return out;
  out += "g leaves\n";
  const size_t count = leaves->vertices.size() / 3 * 3;
  for (size_t v = 0; v < count; ++v) {
    appendMeshPoint(out, "v ", frame.toScan(leaves->vertices[v]));
    out += '\n';
    appendNormal(out, frame, v < leaves->normals.size() ? leaves->normals[v] : Vec3());
  }
  for (size_t v = 0; v < count; v += 3) appendFace(out, written + v + 1, written + v + 2, written + v + 3, mirror);
  return out;
}
