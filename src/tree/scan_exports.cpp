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

// Normals and texture coordinates need no more than single precision.
void appendShort(std::string& out, double v) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(v));
  out.append(buffer, result.ptr);
}

void appendPoint(std::string& out, const char* prefix, const Vec3& p) {
  out += prefix;
  appendNumber(out, p.x);
  out += ' ';
  appendNumber(out, p.y);
  out += ' ';
  appendNumber(out, p.z);
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
void appendFace(std::string& out, size_t a, size_t b, size_t c, bool mirror, bool texture) {
  if (mirror) std::swap(b, c);
  out += 'f';
  for (size_t v : {a, b, c}) {
    const std::string index = std::to_string(v);
    out += ' ';
    out += index;
    out += texture ? "/" : "//";
    if (texture) {
      out += index;
      out += '/';
    }
    out += index;
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
  std::string out = "# tree branch mesh in the scan's coordinates and units\ng branches\n";
  std::string faces;
  size_t written = 0;  // vertices so far; OBJ indices start at 1
  for (const BranchTube& tube : branchTubes(model)) {
    const int32_t first = firstWrittenNode(model, tube.branch);
    if (first < 0 || tube.stripCount() == 0) continue;
    // Strip k joins ring k (odd entries) to ring k + 1 (even entries); each ring is written
    // once, sides + 1 vertices with the seam repeated. The tube is refined once, so node k
    // has ring 2k.
    const size_t ringSize = static_cast<size_t>(tube.sides) + 1;
    const size_t firstRing = 2 * static_cast<size_t>(first);
    const size_t rings = tube.stripCount() + 1 - firstRing;
    for (size_t r = firstRing; r < firstRing + rings; ++r) {
      const size_t strip = r == 0 ? 0 : r - 1;
      const size_t odd = r == 0 ? 1 : 0;
      for (size_t j = 0; j < ringSize; ++j) {
        const size_t v = strip * tube.stripSize() + 2 * j + odd;
        appendPoint(out, "v ", frame.toScan(tube.vertices[v]));
        out += "\nvt ";
        appendShort(out, tube.texCoords[2 * v]);
        out += ' ';
        appendShort(out, tube.texCoords[2 * v + 1]);
        out += '\n';
        appendNormal(out, frame, tube.normals[v]);
      }
    }
    for (size_t r = 0; r + 1 < rings; ++r) {
      const size_t lower = written + r * ringSize + 1, upper = lower + ringSize;  // 1-based
      for (size_t j = 0; j < ringSize - 1; ++j) {
        appendFace(faces, upper + j, lower + j, lower + j + 1, mirror, true);
        appendFace(faces, upper + j, lower + j + 1, upper + j + 1, mirror, true);
      }
    }
    written += rings * ringSize;
  }
  out += faces;
  if (!leaves || leaves->vertices.empty()) return out;
  faces.clear();
  out += "g leaves\n";
  const size_t count = leaves->vertices.size() / 3 * 3;
  for (size_t v = 0; v < count; ++v) {
    appendPoint(out, "v ", frame.toScan(leaves->vertices[v]));
    out += '\n';
    appendNormal(out, frame, v < leaves->normals.size() ? leaves->normals[v] : Vec3());
  }
  for (size_t v = 0; v < count; v += 3)
    appendFace(faces, written + v + 1, written + v + 2, written + v + 3, mirror, false);
  out += faces;
  return out;
}
