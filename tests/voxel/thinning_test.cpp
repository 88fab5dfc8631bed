// Thinning: the neighbourhood tables, the fast local tests against plain flood fills, a plain
// re-implementation of the peeling on random shapes (exact console bytes), and the topological
// invariants (object and background components, Euler characteristic, line tips, idempotence)
// on random and hand-made shapes.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "voxel/thinning.h"
#include "voxel/voxel_volume.h"

namespace {

using Cell3 = std::array<int, 3>;  // dx, dz, dy

int distance2(const Cell3& a, const Cell3& b) {
  return (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]);
}

// The 26 neighbours in the documented order: dY = +1, 0, -1; dZ = -1..1; dX = -1..1.
const std::vector<Cell3> kBlock = [] {
  std::vector<Cell3> v;
  for (int dy = 1; dy >= -1; --dy)
    for (int dz = -1; dz <= 1; ++dz)
      for (int dx = -1; dx <= 1; ++dx)
        if (dx || dy || dz) v.push_back({dx, dz, dy});
  return v;
}();

// Neighbours within squared distance maxLength2 of the centre, as a mask.
uint32_t blockMaskWithin(int maxLength2) {
  uint32_t mask = 0;
  for (int i = 0; i < 26; ++i) mask |= uint32_t(distance2(kBlock[i], {0, 0, 0}) <= maxLength2) << i;
  return mask;
}

// Whether the members of targets lie in one component of set, members linked when their
// squared distance is at most maxDistance2 (plain depth-first flood fill).
bool oneComponent(uint32_t set, uint32_t targets, int maxDistance2) {
  static std::vector<int> links[4][26];
  if (links[maxDistance2][0].empty())
    for (int a = 0; a < 26; ++a)
      for (int b = 0; b < 26; ++b)
        if (a != b && distance2(kBlock[a], kBlock[b]) <= maxDistance2) links[maxDistance2][a].push_back(b);
  if (targets == 0) return true;
  int stack[26], top = 0;
  stack[top++] = __builtin_ctz(targets);
  uint32_t reached = 1u << stack[0];
  while (top > 0)
    for (int b : links[maxDistance2][stack[--top]])
      if ((set >> b & 1) && !(reached >> b & 1)) reached |= 1u << b, stack[top++] = b;
  return (reached & targets) == targets;
}

bool plainObjectTest(uint32_t mask) {
  return oneComponent(mask, mask, 3);
}

bool plainBackgroundTest(uint32_t mask) {
  const uint32_t empty18 = ~mask & blockMaskWithin(2);
  return oneComponent(empty18, empty18 & blockMaskWithin(1), 1);
}

bool plainRemovable(uint32_t mask) {
  return __builtin_popcount(mask) > 1 && plainObjectTest(mask) && plainBackgroundTest(mask);
}

// Shapes on a grid indexed like the volume: x + nx*(z + nz*y).
struct Shape {
  int nx, nz, ny;
  std::vector<uint8_t> cells;
  Shape(int x, int z, int y) : nx(x), nz(z), ny(y), cells(size_t(x) * z * y, 0) {}
  bool inside(int x, int z, int y) const { return x >= 0 && z >= 0 && y >= 0 && x < nx && z < nz && y < ny; }
  size_t index(int x, int z, int y) const { return x + size_t(nx) * (z + size_t(nz) * y); }
  uint8_t at(int x, int z, int y) const { return inside(x, z, y) ? cells[index(x, z, y)] : 0; }
  void set(int x, int z, int y) { cells[index(x, z, y)] = 1; }
  int count() const { return int(std::count(cells.begin(), cells.end(), 1)); }
};

// An n^3 shape holding the cells where occupied(x, z, y) holds, with a one-cell empty margin.
Shape shapeOf(int n, const std::function<bool(int, int, int)>& occupied) {
  Shape s(n, n, n);
  for (int y = 1; y < n - 1; ++y)
    for (int z = 1; z < n - 1; ++z)
      for (int x = 1; x < n - 1; ++x)
        if (occupied(x, z, y)) s.set(x, z, y);
  return s;
}

// Cubes of the given side at the given lower corners (x, z, y), solid or only their faces.
Shape cubes(int n, const std::vector<Cell3>& corners, int side, bool hollow = false) {
  return shapeOf(n, [&](int x, int z, int y) {
    return std::any_of(corners.begin(), corners.end(), [&](const Cell3& c) {
      const Cell3 d = {x - c[0], z - c[1], y - c[2]};
      const bool in = std::all_of(d.begin(), d.end(), [&](int v) { return v >= 0 && v < side; });
      return in && (!hollow || std::any_of(d.begin(), d.end(), [&](int v) { return v == 0 || v == side - 1; }));
    });
  });
}

std::string thinCaptured(VoxelVolume& v) {
  StdoutCapture capture;
  v.thin();
  return capture.text();
}

// Thins s in place through a volume of its size (the thinning reads only dimensions and labels).
std::string thinShape(Shape& s) {
  VoxelVolume v;
  v.dimX = s.nx, v.dimZ = s.nz, v.dimY = s.ny;
  v.labels = s.cells;
  const std::string text = thinCaptured(v);
  s.cells = v.labels;
  return text;
}

// What one direction step prints: the running total, then the cursor moved back over it.
std::string stepText(long total) {
  char text[32];
  std::snprintf(text, sizeof text, "%6ld\b\b\b\b\b\b", total);
  return text;
}

// The output of a run that removes nothing.
std::string quietText() {
  std::string text = "Number of deleted voxels: ";
  for (int k = 0; k < 6; ++k) text += stepText(0);
  return text + "\n";
}

uint32_t blockMask(const Shape& s, int x, int z, int y) {
  uint32_t mask = 0;
  for (int i = 0; i < 26; ++i) mask |= uint32_t(s.at(x + kBlock[i][0], z + kBlock[i][1], y + kBlock[i][2])) << i;
  return mask;
}

// Connected components of the cells equal to value, linked by a shared face (6) or by any
// contact (26); outside the grid counts as nothing.
int countComponents(const Shape& s, uint8_t value, int connectivity) {
  std::vector<uint8_t> seen(s.cells.size(), 0);
  int components = 0;
  for (size_t start = 0; start < s.cells.size(); ++start) {
    if (s.cells[start] != value || seen[start]) continue;
    ++components, seen[start] = 1;
    for (std::vector<size_t> stack = {start}; !stack.empty();) {
      const size_t c = stack.back();
      stack.pop_back();
      for (const Cell3& d : kBlock) {
        const int x = int(c % s.nx) + d[0], z = int(c / s.nx % s.nz) + d[1], y = int(c / s.nx / s.nz) + d[2];
        if ((connectivity == 6 && distance2(d, {0, 0, 0}) != 1) || s.at(x, z, y) != value) continue;
        if (s.inside(x, z, y) && !seen[s.index(x, z, y)]) seen[s.index(x, z, y)] = 1, stack.push_back(s.index(x, z, y));
      }
    }
  }
  return components;
}

// Euler characteristic V - E + F - C of the union of the closed unit cubes of the occupied
// cells (the topology of 26-connected objects with a 6-connected background).
long eulerCharacteristic(const Shape& s) {
  auto any = [&](int x0, int x1, int z0, int z1, int y0, int y1) {
    for (int y = y0; y <= y1; ++y)
      for (int z = z0; z <= z1; ++z)
        for (int x = x0; x <= x1; ++x)
          if (s.at(x, z, y)) return 1;
    return 0;
  };
  long v = 0, e = 0, f = 0;
  for (int y = 0; y <= s.ny; ++y)
    for (int z = 0; z <= s.nz; ++z)
      for (int x = 0; x <= s.nx; ++x) {
        v += any(x - 1, x, z - 1, z, y - 1, y);
        e += any(x, x, z - 1, z, y - 1, y) + any(x - 1, x, z, z, y - 1, y) + any(x - 1, x, z - 1, z, y, y);
        f += any(x, x, z, z, y - 1, y) + any(x, x, z - 1, z, y, y) + any(x - 1, x, z, z, y, y);
      }
  return v - e + f - s.count();
}

// The peeling written out plainly: whole-grid scans over the range without the outer layers
// and rows, the six directions in order, removal in collection order with a fresh local test.
// Returns the thinned cells and sets *text to the console output expected.
std::vector<uint8_t> plainThin(Shape s, std::string* text) {
  const Cell3 directions[6] = {{0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, -1}};
  const long first = long(s.nx) * (s.nz + 1) + 1, last = long(s.nx) * s.nz * (s.ny - 1) - s.nx - 2;
  // Occupied, removable and (when face is given) with that face neighbour empty.
  auto removable = [&](long j, const Cell3* face) {
    const int x = int(j % s.nx), z = int(j / s.nx % s.nz), y = int(j / (long(s.nx) * s.nz));
    if (!s.cells[j] || (face && s.at(x + (*face)[0], z + (*face)[1], y + (*face)[2]))) return false;
    return plainRemovable(blockMask(s, x, z, y));
  };
  long total = 0;
  *text = "Number of deleted voxels: ";
  for (bool removedInCycle = true; removedInCycle;) {
    removedInCycle = false;
    for (const Cell3& d : directions) {
      std::vector<long> candidates;
      for (long j = first; j < last; ++j)
        if (removable(j, &d)) candidates.push_back(j);
      for (long j : candidates)
        if (removable(j, nullptr)) s.cells[j] = 0, ++total, removedInCycle = true;
      *text += stepText(total);
    }
  }
  *text += "\n";
  return s.cells;
}

Shape randomNoise(std::mt19937& rng, int n, double density) {
  std::bernoulli_distribution on(density);
  return shapeOf(n, [&](int, int, int) { return on(rng); });
}

// Noise smoothed by a majority vote: bulky pieces with tunnels and cavities.
Shape smoothedBlobs(std::mt19937& rng, int n, double density) {
  const Shape noise = randomNoise(rng, n, density);
  return shapeOf(
      n, [&](int x, int z, int y) { return __builtin_popcount(blockMask(noise, x, z, y)) + noise.at(x, z, y) >= 14; });
}

Shape unionOfBalls(std::mt19937& rng, int n, int balls) {
  std::uniform_real_distribution<double> centre(2.0, n - 3.0), radius(1.0, 3.5);
  std::vector<std::array<double, 4>> b(balls);
  for (auto& ball : b) ball = {centre(rng), centre(rng), centre(rng), radius(rng)};
  return shapeOf(n, [&](int x, int z, int y) {
    return std::any_of(b.begin(), b.end(),
                       [&](const auto& c) { return std::hypot(x - c[0], z - c[1], y - c[2]) <= c[3]; });
  });
}

// 26-connected random walks: thin curves with tips, crossings and loops.
Shape randomWalks(std::mt19937& rng, int n, int walks, int steps) {
  Shape s(n, n, n);
  std::uniform_int_distribution<int> start(1, n - 2), step(-1, 1);
  for (int w = 0; w < walks; ++w) {
    Cell3 p = {start(rng), start(rng), start(rng)};
    for (int k = 0; k < steps; ++k) {
      s.set(p[0], p[1], p[2]);
      const Cell3 q = {p[0] + step(rng), p[1] + step(rng), p[2] + step(rng)};
      if (std::all_of(q.begin(), q.end(), [&](int v) { return v > 0 && v < n - 1; })) p = q;
    }
  }
  return s;
}

// Thins before, checks every invariant and returns the thinned shape with the console output.
std::pair<Shape, std::string> expectTopologyKept(const Shape& before, const std::string& name) {
  SCOPED_TRACE(name);
  Shape after = before;
  const std::string text = thinShape(after);
  EXPECT_TRUE(std::equal(after.cells.begin(), after.cells.end(), before.cells.begin(), std::less_equal<uint8_t>()));
  EXPECT_EQ(countComponents(after, 1, 26), countComponents(before, 1, 26));
  EXPECT_EQ(countComponents(after, 0, 6), countComponents(before, 0, 6));
  EXPECT_EQ(eulerCharacteristic(after), eulerCharacteristic(before));
  for (int y = 0; y < before.ny; ++y)
    for (int z = 0; z < before.nz; ++z)
      for (int x = 0; x < before.nx; ++x)
        if (before.at(x, z, y) && __builtin_popcount(blockMask(before, x, z, y)) <= 1) {
          EXPECT_TRUE(after.at(x, z, y)) << "end point removed at " << x << "," << z << "," << y;
        }
  Shape again = after;
  EXPECT_EQ(thinShape(again), quietText()) << "a second run removed cells";
  EXPECT_EQ(again.cells, after.cells);
  return {after, text};
}

}  // namespace

// The mask bit order the local tests expect is the documented neighbour order.
TEST(ThinningTables, FollowTheDocumentedOrder) {
  const NeighbourTables t = buildNeighbourTables(7, 5);
  for (int i = 0; i < kNeighbourCount; ++i) {
    EXPECT_EQ((Cell3{t.offsets[i].dx, t.offsets[i].dz, t.offsets[i].dy}), kBlock[i]) << i;
    EXPECT_EQ(t.linearOffsets[i], kBlock[i][0] + 7 * (kBlock[i][1] + 5 * kBlock[i][2]));
  }
}

// The fast local tests pin the optimisation: they must agree with plain flood fills.
TEST(ThinningLocalTests, AgreeWithPlainFloodFillsOnEveryEdgeAndFacePattern) {
  const NeighbourTables t = buildNeighbourTables(10, 10);
  std::vector<int> region18, corners;
  for (int i = 0; i < 26; ++i) (distance2(kBlock[i], {0, 0, 0}) <= 2 ? region18 : corners).push_back(i);
  std::mt19937 rng(26);
  for (uint32_t pattern = 0; pattern < (1u << 18); ++pattern) {
    uint32_t mask = 0;
    for (int k = 0; k < 18; ++k) mask |= (pattern >> k & 1u) << region18[k];
    for (int c : corners) mask |= uint32_t(rng() & 1u) << c;
    ASSERT_EQ(isBackgroundConnected(t, mask), plainBackgroundTest(mask)) << mask;
    if (pattern % 4 == 0) {
      ASSERT_EQ(isObjectConnected(t, mask), plainObjectTest(mask)) << mask;
    }
  }
  for (int k = 0; k < 50000; ++k) {  // sparse masks, where the object test decides most
    uint32_t mask = 0;
    for (int i = 0; i < 26; ++i) mask |= uint32_t(rng() % 5 == 0) << i;
    ASSERT_EQ(isObjectConnected(t, mask), plainObjectTest(mask)) << mask;
    ASSERT_EQ(isEndPoint(mask), __builtin_popcount(mask) <= 1) << mask;
    ASSERT_EQ(isSimple(t, mask), plainObjectTest(mask) && plainBackgroundTest(mask)) << mask;
  }
}

TEST(Thinning, MatchesAPlainPeelingToTheConsoleByteAndKeepsTopologyOnRandomShapes) {
  std::mt19937 rng(42);
  for (int k = 0; k < 4; ++k) {
    const Shape shapes[] = {randomNoise(rng, 12, 0.3 + 0.15 * k), smoothedBlobs(rng, 16, 0.5 + 0.03 * k),
                            unionOfBalls(rng, 16, 2 + k), randomWalks(rng, 14, 1 + k, 40)};
    for (int kind = 0; kind < 4; ++kind) {
      const std::string name = "shape " + std::to_string(kind) + " of round " + std::to_string(k);
      std::string expectedText;
      const std::vector<uint8_t> expected = plainThin(shapes[kind], &expectedText);
      const auto [after, text] = expectTopologyKept(shapes[kind], name);
      EXPECT_EQ(text, expectedText) << name;
      EXPECT_EQ(after.cells, expected) << name;
    }
  }
}

TEST(Thinning, KeepsTopologyOnHandMadeShapes) {
  expectTopologyKept(shapeOf(16,
                             [](int x, int z, int y) {
                               const double ring = std::hypot(x - 7.5, z - 7.5) - 5.0;
                               return ring * ring + (y - 7.5) * (y - 7.5) <= 1.6 * 1.6;
                             }),
                     "torus");
  // Two blocks meeting at one corner, a third at one edge.
  expectTopologyKept(cubes(12, {{1, 1, 1}, {4, 4, 4}, {7, 4, 7}}, 3), "touching blocks");

  const Shape shell = cubes(13, {{2, 2, 2}}, 9, true);
  ASSERT_EQ(countComponents(shell, 0, 6), 2);
  EXPECT_LT(expectTopologyKept(shell, "hollow box").first.count(), shell.count());

  const Shape core = expectTopologyKept(cubes(11, {{3, 3, 3}}, 5), "solid 5x5x5 block").first;
  EXPECT_GE(core.count(), 1);
  EXPECT_LE(core.count(), 5);

  // {0, 0, 0}: a single cell; the others: straight lines of ten cells.
  for (const Cell3& d : {Cell3{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 1, 1}, {1, -1, 1}}) {
    Shape line(12, 12, 12);
    for (int k = 0; k < 10; ++k) line.set(1 + k * d[0], (d[1] < 0 ? 10 : 1) + k * d[1], 1 + k * d[2]);
    const auto [after, text] = expectTopologyKept(line, "line");
    EXPECT_EQ(text, quietText());
    EXPECT_EQ(after.cells, line.cells);
  }
}

// Fault: the peeling reads neighbours by linear offsets; cells next to the volume's sides, and
// fields that do not describe the labels, made it read outside the array.
TEST(Thinning, FullDegenerateAndInconsistentVolumesStayInsideTheirArrays) {
  for (const Cell3& dims : {Cell3{5, 4, 6}, {3, 3, 3}, {1, 1, 9}, {9, 9, 2}, {2, 7, 1}}) {
    Shape full(dims[0], dims[1], dims[2]);
    std::fill(full.cells.begin(), full.cells.end(), 1);
    const long before = full.count();
    const std::string text = thinShape(full);
    const long removed = before - full.count();
    EXPECT_EQ(text.substr(text.size() - 13), stepText(removed) + "\n") << text;
    if (dims[2] < 3) {
      EXPECT_EQ(text, quietText());
    }
  }
  VoxelVolume inconsistent;
  inconsistent.dimX = inconsistent.dimZ = inconsistent.dimY = 8;
  inconsistent.labels.assign(10, 1);
  EXPECT_EQ(thinCaptured(inconsistent), quietText());
  VoxelVolume empty;
  EXPECT_EQ(thinCaptured(empty), quietText());
}
