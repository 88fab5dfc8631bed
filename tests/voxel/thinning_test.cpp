// Thinning: the neighbourhood tables, the fast local tests against plain flood fills over the
// 3x3x3 block, a plain re-implementation of the whole peeling on random shapes, and the
// topological invariants (object components, background components, Euler characteristic,
// line tips, idempotence) on random and hand-made shapes. Console bytes are checked exactly.

#include <algorithm>
#include <array>
#include <cstdio>
#include <queue>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_support.h"
#include "voxel/thinning.h"
#include "voxel/voxel_volume.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Plain geometry of the 3x3x3 block, written out without the production tables.

struct Cell3 {
  int dx, dz, dy;
};

int sq(int v) {
  return v * v;
}
int distance2(const Cell3& a, const Cell3& b) {
  return sq(a.dx - b.dx) + sq(a.dz - b.dz) + sq(a.dy - b.dy);
}

// The 26 neighbours in the documented order: dY = +1, 0, -1; dZ = -1..1; dX = -1..1.
const std::vector<Cell3>& blockNeighbours() {
  static const std::vector<Cell3> cells = [] {
    std::vector<Cell3> v;
    for (int dy = 1; dy >= -1; --dy)
      for (int dz = -1; dz <= 1; ++dz)
        for (int dx = -1; dx <= 1; ++dx)
          if (dx || dy || dz) v.push_back({dx, dz, dy});
    return v;
  }();
  return cells;
}

// Pairs of block neighbours whose squared distance lies in [1, maxDistance2], per neighbour.
const std::vector<std::vector<int>>& linkedNeighbours(int maxDistance2) {
  static std::vector<std::vector<int>> lists[4];
  std::vector<std::vector<int>>& links = lists[maxDistance2];
  if (links.empty()) {
    const auto& n = blockNeighbours();
    links.resize(26);
    for (int a = 0; a < 26; ++a)
      for (int b = 0; b < 26; ++b)
        if (a != b && distance2(n[a], n[b]) <= maxDistance2) links[a].push_back(b);
  }
  return links;
}

// Components of the members of `set` (indices into blockNeighbours) linked when their squared
// distance lies in [1, maxDistance2]; returns the component id of each member, -1 elsewhere.
std::array<int, 26> blockComponents(uint32_t set, int maxDistance2) {
  const auto& links = linkedNeighbours(maxDistance2);
  std::array<int, 26> component;
  component.fill(-1);
  int next = 0;
  int stack[26];
  for (int s = 0; s < 26; ++s) {
    if (!(set >> s & 1) || component[s] >= 0) continue;
    int top = 0;
    stack[top++] = s;
    component[s] = next;
    while (top > 0) {
      const int a = stack[--top];
      for (int b : links[a]) {
        if ((set >> b & 1) && component[b] < 0) {
          component[b] = next;
          stack[top++] = b;
        }
      }
    }
    ++next;
  }
  return component;
}

bool plainObjectTest(uint32_t mask) {
  const auto c = blockComponents(mask, 3);
  return *std::max_element(c.begin(), c.end()) <= 0;
}

bool plainBackgroundTest(uint32_t mask) {
  const auto& n = blockNeighbours();
  uint32_t empty18 = 0;
  for (int i = 0; i < 26; ++i)
    if (!(mask >> i & 1) && distance2(n[i], {0, 0, 0}) <= 2) empty18 |= 1u << i;
  const auto c = blockComponents(empty18, 1);
  int seen = -1;
  for (int i = 0; i < 26; ++i) {
    if (distance2(n[i], {0, 0, 0}) != 1 || c[i] < 0) continue;
    if (seen >= 0 && c[i] != seen) return false;
    seen = c[i];
  }
  return true;
}

bool plainRemovable(uint32_t mask) {
  return __builtin_popcount(mask) > 1 && plainObjectTest(mask) && plainBackgroundTest(mask);
}

// ---------------------------------------------------------------------------------------------
// Shapes on a grid indexed like the volume: x + nx*(z + nz*y).

struct Shape {
  int nx, nz, ny;
  std::vector<uint8_t> cells;
  Shape(int x, int z, int y) : nx(x), nz(z), ny(y), cells(size_t(x) * z * y, 0) {}
  bool inside(int x, int z, int y) const { return x >= 0 && z >= 0 && y >= 0 && x < nx && z < nz && y < ny; }
  size_t index(int x, int z, int y) const { return x + size_t(nx) * (z + size_t(nz) * y); }
  uint8_t at(int x, int z, int y) const { return inside(x, z, y) ? cells[index(x, z, y)] : 0; }
  void set(int x, int z, int y, uint8_t v = 1) {
    if (inside(x, z, y)) cells[index(x, z, y)] = v;
  }
  // Keeps one empty cell on every side, where the thinning never looks.
  bool interior(int x, int z, int y) const { return x > 0 && z > 0 && y > 0 && x < nx - 1 && z < nz - 1 && y < ny - 1; }
  int count() const { return int(std::count(cells.begin(), cells.end(), 1)); }
};

VoxelVolume volumeOf(const Shape& s) {
  VoxelVolume v;
  v.dimX = s.nx, v.dimZ = s.nz, v.dimY = s.ny;
  v.cellCount = uint32_t(s.cells.size());
  v.voxelSize = 1.0;
  v.labels = s.cells;
  v.centres.assign(s.cells.size(), PointRecord());
  return v;
}

// Runs the thinning, returning what it printed.
std::string thinCaptured(VoxelVolume& v) {
  StdoutCapture capture;
  v.thin();
  return capture.text();
}

// Connected components of the cells equal to `value` over the whole grid (no wrapping), cells
// linked by a shared face (6) or by any contact (26).
int countComponents(const Shape& s, uint8_t value, int connectivity) {
  std::vector<uint8_t> seen(s.cells.size(), 0);
  int components = 0;
  for (int y = 0; y < s.ny; ++y)
    for (int z = 0; z < s.nz; ++z)
      for (int x = 0; x < s.nx; ++x) {
        if (s.at(x, z, y) != value || seen[s.index(x, z, y)]) continue;
        ++components;
        std::queue<std::array<int, 3>> queue;
        queue.push({x, z, y});
        seen[s.index(x, z, y)] = 1;
        while (!queue.empty()) {
          const auto c = queue.front();
          queue.pop();
          for (int dy = -1; dy <= 1; ++dy)
            for (int dz = -1; dz <= 1; ++dz)
              for (int dx = -1; dx <= 1; ++dx) {
                const int d2 = dx * dx + dy * dy + dz * dz;
                if (d2 == 0 || (connectivity == 6 && d2 != 1)) continue;
                const int a = c[0] + dx, b = c[1] + dz, e = c[2] + dy;
                if (!s.inside(a, b, e) || s.at(a, b, e) != value || seen[s.index(a, b, e)]) continue;
                seen[s.index(a, b, e)] = 1;
                queue.push({a, b, e});
              }
        }
      }
  return components;
}

// Euler characteristic of the union of the closed unit cubes of the occupied cells (the
// complex whose topology 26-connected objects with 6-connected background have): V - E + F - C.
long eulerCharacteristic(const Shape& s) {
  auto anyOccupied = [&](int x0, int x1, int z0, int z1, int y0, int y1) {
    for (int y = y0; y <= y1; ++y)
      for (int z = z0; z <= z1; ++z)
        for (int x = x0; x <= x1; ++x)
          if (s.at(x, z, y)) return true;
    return false;
  };
  long v = 0, e = 0, f = 0;
  for (int y = 0; y <= s.ny; ++y)
    for (int z = 0; z <= s.nz; ++z)
      for (int x = 0; x <= s.nx; ++x) {
        v += anyOccupied(x - 1, x, z - 1, z, y - 1, y);
        e += anyOccupied(x, x, z - 1, z, y - 1, y) + anyOccupied(x - 1, x, z, z, y - 1, y) +
             anyOccupied(x - 1, x, z - 1, z, y, y);
        f += anyOccupied(x, x, z, z, y - 1, y) + anyOccupied(x, x, z - 1, z, y, y) + anyOccupied(x - 1, x, z, z, y, y);
      }
  return v - e + f - s.count();
}

int occupiedNeighbours(const Shape& s, int x, int z, int y) {
  int n = 0;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dz = -1; dz <= 1; ++dz)
      for (int dx = -1; dx <= 1; ++dx) n += (dx || dy || dz) && s.at(x + dx, z + dz, y + dy);
  return n;
}

uint32_t blockMask(const Shape& s, int x, int z, int y) {
  uint32_t mask = 0;
  const auto& n = blockNeighbours();
  for (int i = 0; i < 26; ++i) mask |= uint32_t(s.at(x + n[i].dx, z + n[i].dz, y + n[i].dy) != 0) << i;
  return mask;
}

// The peeling written out plainly: whole-grid scans over the documented index range, the six
// directions in order, removal in collection order with a fresh local test.
std::vector<uint8_t> plainThin(Shape s, long* total) {
  const Cell3 directions[6] = {{0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, -1}};
  const long first = long(s.nx) * (s.nz + 1) + 1;
  const long last = long(s.nx) * s.nz * (s.ny - 1) - s.nx - 2;
  *total = 0;
  for (bool removedInCycle = true; removedInCycle;) {
    removedInCycle = false;
    for (const Cell3& d : directions) {
      std::vector<std::array<int, 3>> candidates;
      for (long j = first; j < last; ++j) {
        const int x = int(j % s.nx), z = int(j / s.nx % s.nz), y = int(j / (long(s.nx) * s.nz));
        if (s.at(x, z, y) && !s.at(x + d.dx, z + d.dz, y + d.dy) && plainRemovable(blockMask(s, x, z, y)))
          candidates.push_back({x, z, y});
      }
      for (const auto& c : candidates) {
        if (!plainRemovable(blockMask(s, c[0], c[1], c[2]))) continue;
        s.set(c[0], c[1], c[2], 0);
        ++*total;
        removedInCycle = true;
      }
    }
  }
  return s.cells;
}

// ---- Shape generators (fixed seeds; every shape keeps a one-cell empty margin) ----

Shape randomNoise(std::mt19937& rng, int n, double density) {
  Shape s(n, n, n);
  std::bernoulli_distribution on(density);
  for (int y = 1; y < n - 1; ++y)
    for (int z = 1; z < n - 1; ++z)
      for (int x = 1; x < n - 1; ++x)
        if (on(rng)) s.set(x, z, y);
  return s;
}

// Noise smoothed by a majority vote: bulky pieces with tunnels and cavities.
Shape smoothedBlobs(std::mt19937& rng, int n, double density) {
  Shape noise = randomNoise(rng, n, density);
  Shape s(n, n, n);
  for (int y = 1; y < n - 1; ++y)
    for (int z = 1; z < n - 1; ++z)
      for (int x = 1; x < n - 1; ++x)
        if (occupiedNeighbours(noise, x, z, y) + noise.at(x, z, y) >= 14) s.set(x, z, y);
  return s;
}

Shape unionOfBalls(std::mt19937& rng, int n, int balls) {
  Shape s(n, n, n);
  std::uniform_real_distribution<double> centre(2.0, n - 3.0), radius(1.0, 3.5);
  for (int b = 0; b < balls; ++b) {
    const double cx = centre(rng), cy = centre(rng), cz = centre(rng), r = radius(rng);
    for (int y = 1; y < n - 1; ++y)
      for (int z = 1; z < n - 1; ++z)
        for (int x = 1; x < n - 1; ++x)
          if ((x - cx) * (x - cx) + (y - cy) * (y - cy) + (z - cz) * (z - cz) <= r * r) s.set(x, z, y);
  }
  return s;
}

// 26-connected random walks: thin curves with tips, crossings and loops.
Shape randomWalks(std::mt19937& rng, int n, int walks, int steps) {
  Shape s(n, n, n);
  std::uniform_int_distribution<int> start(1, n - 2), step(-1, 1);
  for (int w = 0; w < walks; ++w) {
    int x = start(rng), y = start(rng), z = start(rng);
    for (int k = 0; k < steps; ++k) {
      s.set(x, z, y);
      const int nx = x + step(rng), ny = y + step(rng), nz = z + step(rng);
      if (s.interior(nx, nz, ny)) x = nx, y = ny, z = nz;
    }
  }
  return s;
}

Shape thickTorus(int n) {
  Shape s(n, n, n);
  const double c = (n - 1) / 2.0, major = n / 2.0 - 3.0, minor = 1.6;
  for (int y = 1; y < n - 1; ++y)
    for (int z = 1; z < n - 1; ++z)
      for (int x = 1; x < n - 1; ++x) {
        const double ring = std::hypot(x - c, z - c) - major;
        if (ring * ring + (y - c) * (y - c) <= minor * minor) s.set(x, z, y);
      }
  return s;
}

Shape box(int n, int lo, int hi, bool hollow) {
  Shape s(n, n, n);
  for (int y = lo; y <= hi; ++y)
    for (int z = lo; z <= hi; ++z)
      for (int x = lo; x <= hi; ++x) {
        const bool onFace = x == lo || x == hi || y == lo || y == hi || z == lo || z == hi;
        if (!hollow || onFace) s.set(x, z, y);
      }
  return s;
}

// Checks every invariant of one thinning run on a shape with an empty margin.
void expectTopologyKept(const Shape& before, const std::string& name) {
  SCOPED_TRACE(name);
  VoxelVolume volume = volumeOf(before);
  thinCaptured(volume);
  Shape after = before;
  after.cells = volume.labels;

  for (size_t c = 0; c < before.cells.size(); ++c) ASSERT_LE(after.cells[c], before.cells[c]) << "cell added " << c;
  EXPECT_EQ(countComponents(after, 1, 26), countComponents(before, 1, 26));
  EXPECT_EQ(countComponents(after, 0, 6), countComponents(before, 0, 6));
  EXPECT_EQ(eulerCharacteristic(after), eulerCharacteristic(before));
  for (int y = 0; y < before.ny; ++y)
    for (int z = 0; z < before.nz; ++z)
      for (int x = 0; x < before.nx; ++x)
        if (before.at(x, z, y) && occupiedNeighbours(before, x, z, y) <= 1) {
          EXPECT_TRUE(after.at(x, z, y)) << "tip removed at " << x << "," << z << "," << y;
        }

  const std::vector<uint8_t> thinned = volume.labels;
  const std::string again = thinCaptured(volume);
  EXPECT_EQ(volume.labels, thinned) << "a second run removed cells";
  EXPECT_EQ(again.find_first_not_of("Number of deleted voxels: 0\b\n"), std::string::npos) << again;
}

// The totals printed after each direction step.
std::vector<long> printedTotals(const std::string& text) {
  const std::string head = "Number of deleted voxels: ";
  std::vector<long> totals;
  if (text.compare(0, head.size(), head) != 0 || text.back() != '\n') return totals;
  const std::string body = text.substr(head.size(), text.size() - head.size() - 1);
  if (body.size() % 12 != 0) return totals;
  for (size_t i = 0; i < body.size(); i += 12) {
    if (body.compare(i + 6, 6, "\b\b\b\b\b\b") != 0) return {};
    totals.push_back(std::stol(body.substr(i, 6)));
  }
  return totals;
}

}  // namespace

TEST(ThinningTables, FollowTheDocumentedOrderAndAdjacency) {
  const NeighbourTables t = buildNeighbourTables(7, 5);
  const auto& n = blockNeighbours();
  for (int i = 0; i < kNeighbourCount; ++i) {
    EXPECT_EQ(t.offsets[i].dx, n[i].dx);
    EXPECT_EQ(t.offsets[i].dz, n[i].dz);
    EXPECT_EQ(t.offsets[i].dy, n[i].dy);
    EXPECT_EQ(t.linearOffsets[i], n[i].dx + 7 * (n[i].dz + 5 * n[i].dy));
  }
  // Fixed points of the order.
  EXPECT_EQ(t.linearOffsets[0], -1 + 7 * (-1 + 5));
  EXPECT_EQ(t.linearOffsets[4], 35);
  EXPECT_EQ(t.linearOffsets[13], 1);
  EXPECT_EQ(t.linearOffsets[21], -35);
  EXPECT_EQ(t.linearOffsets[25], 1 + 7 * (1 - 5));

  for (int i = 0; i < kNeighbourCount; ++i) {
    std::vector<int> expected;
    for (int j = 0; j < kNeighbourCount; ++j)
      if (j != i && distance2(n[i], n[j]) <= 3) expected.push_back(j);
    std::vector<int> listed;
    for (int k = 0; t.adjacency26[i][k] != -1; ++k) listed.push_back(t.adjacency26[i][k]);
    EXPECT_EQ(listed, expected) << i;
    EXPECT_LE(listed.size(), 16u);
  }
  const int expected18[] = {1, 3, 4, 5, 7, 9, 10, 11, 12, 13, 14, 15, 16, 18, 20, 21, 22, 24};
  EXPECT_TRUE(std::equal(std::begin(expected18), std::end(expected18), t.neighbours18));
  for (int p = 0; p < kNeighbour18Count; ++p) {
    std::vector<int> expected;
    for (int q = 0; q < kNeighbour18Count; ++q)
      if (distance2(n[expected18[p]], n[expected18[q]]) == 1) expected.push_back(q);
    std::vector<int> listed;
    for (int k = 0; t.adjacency6[p][k] != -1; ++k) listed.push_back(t.adjacency6[p][k]);
    EXPECT_EQ(listed, expected) << p;
  }
  const int expectedFaces[] = {6, 11, 8, 9, 2, 15};
  EXPECT_TRUE(std::equal(std::begin(expectedFaces), std::end(expectedFaces), t.faces));
}

TEST(ThinningLocalTests, AgreeWithPlainFloodFillsOnEveryEdgeAndFacePattern) {
  const NeighbourTables t = buildNeighbourTables(10, 10);
  const auto& n = blockNeighbours();
  std::vector<int> region18, corners;
  for (int i = 0; i < 26; ++i) (distance2(n[i], {0, 0, 0}) <= 2 ? region18 : corners).push_back(i);
  std::mt19937 rng(26);
  for (uint32_t pattern = 0; pattern < (1u << 18); ++pattern) {
    uint32_t mask = 0;
    for (int k = 0; k < 18; ++k) mask |= (pattern >> k & 1u) << region18[k];
    for (int c : corners) mask |= uint32_t(rng() & 1u) << c;
    ASSERT_EQ(isBackgroundConnected(t, mask), plainBackgroundTest(mask)) << mask;
    ASSERT_EQ(isEndPoint(mask), __builtin_popcount(mask) <= 1);
    if (pattern % 4 == 0) {
      ASSERT_EQ(isObjectConnected(t, mask), plainObjectTest(mask)) << mask;
    }
  }
  // Sparse masks, where the object test decides most.
  for (int k = 0; k < 50000; ++k) {
    uint32_t mask = 0;
    for (int i = 0; i < 26; ++i) mask |= uint32_t(rng() % 5 == 0) << i;
    ASSERT_EQ(isObjectConnected(t, mask), plainObjectTest(mask)) << mask;
    ASSERT_EQ(isSimple(t, mask), plainObjectTest(mask) && plainBackgroundTest(mask)) << mask;
  }
}

TEST(ThinningLocalTests, KnownNeighbourhoods) {
  const NeighbourTables t = buildNeighbourTables(10, 10);
  auto maskOf = [](std::initializer_list<Cell3> cells) {
    uint32_t m = 0;
    const auto& n = blockNeighbours();
    for (const Cell3& c : cells)
      for (int i = 0; i < 26; ++i)
        if (distance2(n[i], c) == 0) m |= 1u << i;
    return m;
  };
  // Middle of a flat plate: removing it would join the two sides of the plate.
  const uint32_t plate =
      maskOf({{-1, -1, 0}, {0, -1, 0}, {1, -1, 0}, {-1, 0, 0}, {1, 0, 0}, {-1, 1, 0}, {0, 1, 0}, {1, 1, 0}});
  EXPECT_TRUE(isObjectConnected(t, plate));
  EXPECT_FALSE(isBackgroundConnected(t, plate));
  // Middle of a line: removing it would split the line.
  EXPECT_FALSE(isObjectConnected(t, maskOf({{1, 0, 0}, {-1, 0, 0}})));
  // Corner of a solid block: removable.
  const uint32_t corner = maskOf({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}});
  EXPECT_TRUE(isSimple(t, corner));
  // Fully enclosed cell: removing it would open a cavity, yet no face is empty.
  EXPECT_TRUE(isSimple(t, (1u << 26) - 1));
  EXPECT_TRUE(isEndPoint(maskOf({{1, 1, 1}})));
  EXPECT_FALSE(isEndPoint(maskOf({{1, 1, 1}, {-1, 0, 0}})));
}

TEST(Thinning, MatchesAPlainPeelingOnRandomShapes) {
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 6; ++trial) {
    Shape s = trial % 2 ? smoothedBlobs(rng, 11, 0.55) : unionOfBalls(rng, 11, 3);
    long plainTotal = 0;
    const std::vector<uint8_t> expected = plainThin(s, &plainTotal);
    VoxelVolume volume = volumeOf(s);
    const std::vector<long> totals = printedTotals(thinCaptured(volume));
    ASSERT_FALSE(totals.empty());
    EXPECT_EQ(volume.labels, expected) << trial;
    EXPECT_EQ(totals.back(), plainTotal);
    EXPECT_EQ(long(s.count()) - plainTotal, long(std::count(expected.begin(), expected.end(), 1)));
  }
}

TEST(Thinning, KeepsTopologyOnRandomShapes) {
  std::mt19937 rng(42);
  for (int k = 0; k < 4; ++k) expectTopologyKept(randomNoise(rng, 12, 0.3 + 0.15 * k), "noise " + std::to_string(k));
  for (int k = 0; k < 4; ++k) expectTopologyKept(smoothedBlobs(rng, 16, 0.5 + 0.03 * k), "blobs " + std::to_string(k));
  for (int k = 0; k < 4; ++k) expectTopologyKept(unionOfBalls(rng, 16, 2 + k), "balls " + std::to_string(k));
  for (int k = 0; k < 4; ++k) expectTopologyKept(randomWalks(rng, 14, 1 + k, 40), "walks " + std::to_string(k));
}

TEST(Thinning, KeepsTopologyOnHandMadeShapes) {
  expectTopologyKept(thickTorus(16), "torus");
  expectTopologyKept(box(13, 2, 10, true), "hollow box");
  expectTopologyKept(box(11, 3, 7, false), "solid block");
  Shape touching(12, 12, 12);  // two blocks meeting at one corner, a third at one edge
  for (int y = 0; y < 3; ++y)
    for (int z = 0; z < 3; ++z)
      for (int x = 0; x < 3; ++x) {
        touching.set(1 + x, 1 + z, 1 + y);
        touching.set(4 + x, 4 + z, 4 + y);
        touching.set(7 + x, 4 + z, 7 + y);
      }
  expectTopologyKept(touching, "touching blocks");
}

TEST(Thinning, SingleCellsAndStraightLinesStayWhole) {
  const std::string quiet = "Number of deleted voxels: " + [] {
    std::string steps;
    for (int k = 0; k < 6; ++k) steps += "     0\b\b\b\b\b\b";
    return steps;
  }() + "\n";
  Shape single(5, 5, 5);
  single.set(2, 2, 2);
  VoxelVolume volume = volumeOf(single);
  EXPECT_EQ(thinCaptured(volume), quiet);
  EXPECT_EQ(volume.labels, single.cells);

  const Cell3 directions[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 1, 1}, {1, -1, 1}};
  for (const Cell3& d : directions) {
    Shape line(12, 12, 12);
    const int x0 = d.dx < 0 ? 10 : 1, z0 = d.dz < 0 ? 10 : 1, y0 = d.dy < 0 ? 10 : 1;
    for (int k = 0; k < 10; ++k) line.set(x0 + k * d.dx, z0 + k * d.dz, y0 + k * d.dy);
    VoxelVolume v = volumeOf(line);
    EXPECT_EQ(thinCaptured(v), quiet);
    EXPECT_EQ(v.labels, line.cells);
  }
}

TEST(Thinning, SolidBlockThinsToAShortConnectedCore) {
  const Shape block = box(11, 3, 7, false);
  VoxelVolume volume = volumeOf(block);
  thinCaptured(volume);
  Shape core = block;
  core.cells = volume.labels;
  EXPECT_GE(core.count(), 1);
  EXPECT_LE(core.count(), 5);
  EXPECT_EQ(countComponents(core, 1, 26), 1);
  for (size_t c = 0; c < core.cells.size(); ++c)
    if (core.cells[c]) {
      EXPECT_TRUE(block.cells[c]);
    }
}

TEST(Thinning, HollowBoxKeepsItsCavity) {
  const Shape shell = box(13, 2, 10, true);
  ASSERT_EQ(countComponents(shell, 0, 6), 2);
  VoxelVolume volume = volumeOf(shell);
  thinCaptured(volume);
  Shape after = shell;
  after.cells = volume.labels;
  EXPECT_EQ(countComponents(after, 0, 6), 2);
  EXPECT_EQ(countComponents(after, 1, 26), 1);
  EXPECT_LT(after.count(), shell.count());
}

TEST(Thinning, PrintsTheRunningTotalAfterEveryDirectionStep) {
  std::mt19937 rng(99);
  const Shape s = smoothedBlobs(rng, 14, 0.55);
  VoxelVolume volume = volumeOf(s);
  const std::string text = thinCaptured(volume);
  const std::vector<long> totals = printedTotals(text);
  ASSERT_FALSE(totals.empty()) << text;
  ASSERT_EQ(totals.size() % 6, 0u);
  ASSERT_GE(totals.size(), 12u);
  EXPECT_TRUE(std::is_sorted(totals.begin(), totals.end()));
  // Every cycle but the last removed something; the last removed nothing.
  for (size_t cycle = 0; cycle + 6 < totals.size(); cycle += 6) {
    const long before = cycle == 0 ? 0 : totals[cycle - 1];
    EXPECT_GT(totals[cycle + 5], before) << cycle;
  }
  EXPECT_EQ(totals[totals.size() - 6], totals.back());
  EXPECT_EQ(totals.back(), long(s.count() - std::count(volume.labels.begin(), volume.labels.end(), 1)));
}

// The peeling reads neighbours by linear offsets, wrapping from one row end to the next row;
// cells next to the volume's sides must still never be read outside the array.
TEST(Thinning, FullAndDegenerateVolumesStayInsideTheirArrays) {
  for (const auto& dims : std::vector<std::array<int, 3>>{{5, 4, 6}, {3, 3, 3}, {1, 1, 9}, {9, 9, 2}, {2, 7, 1}}) {
    Shape full(dims[0], dims[1], dims[2]);
    std::fill(full.cells.begin(), full.cells.end(), 1);
    VoxelVolume volume = volumeOf(full);
    const std::vector<long> totals = printedTotals(thinCaptured(volume));
    ASSERT_FALSE(totals.empty());
    EXPECT_EQ(totals.back(), long(full.count() - std::count(volume.labels.begin(), volume.labels.end(), 1)));
    if (dims[2] < 3) {
      EXPECT_EQ(totals.back(), 0);
    }
  }
  VoxelVolume inconsistent;
  inconsistent.dimX = inconsistent.dimZ = inconsistent.dimY = 8;
  inconsistent.labels.assign(10, 1);
  EXPECT_EQ(printedTotals(thinCaptured(inconsistent)).size(), 6u);
  VoxelVolume empty;
  EXPECT_EQ(printedTotals(thinCaptured(empty)), std::vector<long>(6, 0));
}
