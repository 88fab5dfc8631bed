// Thinning: the fast local tests against plain flood fills, a plain re-implementation of the
// peeling on random shapes (cells and console bytes) with the topological invariants (object
// and background components, Euler characteristic, end points, idempotence), and lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>

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

// The neighbours within squared distance d2 of the centre, as a mask.
uint32_t within(int d2) {
  uint32_t mask = 0;
  for (int i = 0; i < 26; ++i) mask |= uint32_t(distance2(kBlock[i], {0, 0, 0}) <= d2) << i;
  return mask;
}

// Whether the members of targets lie in one component of set, neighbours linked when their
// squared distance is at most link2 (plain flood fill).
bool oneComponent(uint32_t set, uint32_t targets, int link2) {
  if (targets == 0) return true;
  uint32_t reached = targets & -targets, frontier = reached;
  while (frontier) {
    const int a = __builtin_ctz(frontier);
    frontier &= frontier - 1;
    for (int b = 0; b < 26; ++b)
      if ((set >> b & 1) && !(reached >> b & 1) && distance2(kBlock[a], kBlock[b]) <= link2)
        reached |= 1u << b, frontier |= 1u << b;
  }
  return (reached & targets) == targets;
}

bool plainObjectTest(uint32_t mask) {
  return oneComponent(mask, mask, 3);
}

bool plainBackgroundTest(uint32_t mask) {
  const uint32_t empty18 = ~mask & within(2);
  return oneComponent(empty18, empty18 & within(1), 1);
}

// Cells indexed like the volume: x + nx*(z + nz*y); outside reads as empty.
struct Shape {
  int nx, nz, ny;
  std::vector<uint8_t> cells;
  Shape(int x, int z, int y) : nx(x), nz(z), ny(y), cells(size_t(x) * z * y, 0) {}
  bool inside(int x, int z, int y) const { return x >= 0 && z >= 0 && y >= 0 && x < nx && z < nz && y < ny; }
  size_t index(int x, int z, int y) const { return x + size_t(nx) * (z + size_t(nz) * y); }
  uint8_t at(int x, int z, int y) const { return inside(x, z, y) ? cells[index(x, z, y)] : 0; }
  uint32_t mask(int x, int z, int y) const {
    uint32_t m = 0;
    for (int i = 0; i < 26; ++i) m |= uint32_t(at(x + kBlock[i][0], z + kBlock[i][1], y + kBlock[i][2])) << i;
    return m;
  }
};

// An n^3 shape of the cells where occupied(x, z, y) holds, inside a one-cell empty margin.
Shape shapeOf(int n, const std::function<bool(int, int, int)>& occupied) {
  Shape s(n, n, n);
  for (int y = 1; y < n - 1; ++y)
    for (int z = 1; z < n - 1; ++z)
      for (int x = 1; x < n - 1; ++x) s.cells[s.index(x, z, y)] = occupied(x, z, y);
  return s;
}

// Thins s in place through a volume of its size; returns what the thinning printed.
std::string thinShape(Shape& s) {
  VoxelVolume v;
  v.dimX = s.nx, v.dimZ = s.nz, v.dimY = s.ny;
  v.labels = s.cells;
  StdoutCapture out;
  v.thin();
  s.cells = v.labels;
  return out.text();
}

std::string stepText(long total) {
  char text[32];
  std::snprintf(text, sizeof text, "%6ld\b\b\b\b\b\b", total);
  return text;
}

// The peeling written out plainly: per cycle the six directions in order; per direction every
// cell of the range (without the outer layers and rows) that is removable with that face
// neighbour empty is collected, then removed in order if still removable. Sets *text to the
// console output.
std::vector<uint8_t> plainThin(Shape s, std::string* text) {
  const Cell3 directions[6] = {{0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, -1}};
  const long first = long(s.nx) * (s.nz + 1) + 1, last = long(s.nx) * s.nz * (s.ny - 1) - s.nx - 2;
  auto removable = [&](long j, const Cell3* face) {
    const int x = int(j % s.nx), z = int(j / s.nx % s.nz), y = int(j / (long(s.nx) * s.nz));
    if (!s.cells[j] || (face && s.at(x + (*face)[0], z + (*face)[1], y + (*face)[2]))) return false;
    const uint32_t m = s.mask(x, z, y);
    return __builtin_popcount(m) > 1 && plainObjectTest(m) && plainBackgroundTest(m);
  };
  long total = 0;
  *text = "Number of deleted voxels: ";
  for (bool removed = true; removed;) {
    removed = false;
    for (const Cell3& d : directions) {
      std::vector<long> candidates;
      for (long j = first; j < last; ++j)
        if (removable(j, &d)) candidates.push_back(j);
      for (long j : candidates)
        if (removable(j, nullptr)) s.cells[j] = 0, ++total, removed = true;
      *text += stepText(total);
    }
  }
  *text += "\n";
  return s.cells;
}

// Components of the cells equal to value, linked by a face (6) or by any contact (26).
int components(const Shape& s, uint8_t value, int connectivity) {
  std::vector<uint8_t> seen(s.cells.size(), 0);
  int count = 0;
  for (size_t start = 0; start < s.cells.size(); ++start) {
    if (s.cells[start] != value || seen[start]) continue;
    ++count, seen[start] = 1;
    for (std::vector<size_t> stack = {start}; !stack.empty();) {
      const size_t c = stack.back();
      stack.pop_back();
      for (const Cell3& d : kBlock) {
        const int x = int(c % s.nx) + d[0], z = int(c / s.nx % s.nz) + d[1], y = int(c / s.nx / s.nz) + d[2];
        if ((connectivity == 6 && distance2(d, {0, 0, 0}) != 1) || !s.inside(x, z, y)) continue;
        if (s.at(x, z, y) == value && !seen[s.index(x, z, y)])
          seen[s.index(x, z, y)] = 1, stack.push_back(s.index(x, z, y));
      }
    }
  }
  return count;
}

// Euler characteristic V - E + F - C of the union of the closed unit cubes of the cells.
long euler(const Shape& s) {
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
  return v - e + f - long(std::count(s.cells.begin(), s.cells.end(), 1));
}

// Thins before and checks the invariants: only cells removed, end points kept, the same
// components and Euler characteristic, and a second run removing nothing.
void expectTopologyKept(const Shape& before, const std::string& name, Shape* thinned = nullptr) {
  SCOPED_TRACE(name);
  Shape after = before, again = before;
  thinShape(after);
  for (size_t i = 0; i < before.cells.size(); ++i) {
    const int x = int(i % before.nx), z = int(i / before.nx % before.nz), y = int(i / before.nx / before.nz);
    const bool endPoint = before.cells[i] && __builtin_popcount(before.mask(x, z, y)) <= 1;
    ASSERT_TRUE(after.cells[i] <= before.cells[i] && (after.cells[i] || !endPoint)) << x << "," << z << "," << y;
  }
  EXPECT_EQ(components(after, 1, 26), components(before, 1, 26));
  EXPECT_EQ(components(after, 0, 6), components(before, 0, 6));
  EXPECT_EQ(euler(after), euler(before));
  again = after;
  thinShape(again);
  EXPECT_EQ(again.cells, after.cells) << "a second run removed cells";
  if (thinned) *thinned = after;
}

}  // namespace

// The fast local tests must agree with plain flood fills on every pattern of the 18 face and
// edge neighbours (corners at random) and on sparse random masks.
TEST(ThinningLocalTests, AgreeWithPlainFloodFills) {
  const NeighbourTables t = buildNeighbourTables(10, 10);
  std::vector<int> region18, corners;
  for (int i = 0; i < 26; ++i) (distance2(kBlock[i], {0, 0, 0}) <= 2 ? region18 : corners).push_back(i);
  std::mt19937 rng(26);
  for (uint32_t pattern = 0; pattern < (1u << 18); ++pattern) {
    uint32_t mask = 0;
    for (int k = 0; k < 18; ++k) mask |= (pattern >> k & 1u) << region18[k];
    for (int c : corners) mask |= uint32_t(rng() & 1u) << c;
    ASSERT_EQ(isBackgroundConnected(t, mask), plainBackgroundTest(mask)) << mask;
    ASSERT_TRUE(pattern % 4 != 0 || isObjectConnected(t, mask) == plainObjectTest(mask)) << mask;
  }
  for (int k = 0; k < 50000; ++k) {
    uint32_t mask = 0;
    for (int i = 0; i < 26; ++i) mask |= uint32_t(rng() % 5 == 0) << i;
    ASSERT_EQ(isSimple(t, mask), plainObjectTest(mask) && plainBackgroundTest(mask)) << mask;
  }
}

TEST(Thinning, MatchesAPlainPeelingAndKeepsTopologyOnRandomShapes) {
  std::mt19937 rng(42);
  for (int k = 0; k < 4; ++k) {
    std::bernoulli_distribution on(0.3 + 0.15 * k);
    Shape walks(14, 14, 14);  // 26-connected random walks: curves with tips, crossings and loops
    for (int w = 0, x = 7, z = 7, y = 7; w < 40 * (k + 1); ++w) {
      walks.cells[walks.index(x, z, y)] = 1;
      x = std::clamp(x + int(rng() % 3) - 1, 1, 12), z = std::clamp(z + int(rng() % 3) - 1, 1, 12);
      y = std::clamp(y + int(rng() % 3) - 1, 1, 12);
    }
    for (const Shape& shape : {shapeOf(12, [&](int, int, int) { return on(rng); }), walks}) {
      std::string expectedText;
      const std::vector<uint8_t> expected = plainThin(shape, &expectedText);
      Shape thinned = shape;
      EXPECT_EQ(thinShape(thinned), expectedText) << k;
      EXPECT_EQ(thinned.cells, expected) << k;
      expectTopologyKept(shape, "random " + std::to_string(k));
    }
  }
}

TEST(Thinning, SingleCellsAndStraightLinesStay) {
  // A single cell and straight lines of ten cells stay as they are.
  for (const Cell3& d : {Cell3{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 1, 1}, {1, -1, 1}}) {
    Shape line(12, 12, 12);
    for (int k = 0; k < 10; ++k) line.cells[line.index(1 + k * d[0], (d[1] < 0 ? 10 : 1) + k * d[1], 1 + k * d[2])] = 1;
    Shape thinned = line;
    expectTopologyKept(line, "line", &thinned);
    EXPECT_EQ(thinned.cells, line.cells);
  }
}

// Fault: the peeling reads neighbours by linear offsets; cells at the volume's sides, and
// fields that do not describe the labels, made it read outside the array.
TEST(Thinning, FullDegenerateAndInconsistentVolumesStayInsideTheirArrays) {
  std::string quiet = "Number of deleted voxels: ";
  for (int k = 0; k < 6; ++k) quiet += stepText(0);
  quiet += "\n";
  for (const Cell3& dims : {Cell3{5, 4, 6}, {3, 3, 3}, {1, 1, 9}, {9, 9, 2}, {2, 7, 1}}) {
    Shape full(dims[0], dims[1], dims[2]);
    std::fill(full.cells.begin(), full.cells.end(), 1);
    const std::string text = thinShape(full);
    EXPECT_EQ(text.substr(text.size() - 13),
              stepText(long(std::count(full.cells.begin(), full.cells.end(), 0))) + "\n");
    EXPECT_TRUE(dims[2] >= 3 || text == quiet) << text;
  }
  Shape inconsistent(8, 8, 8), empty(0, 0, 0);
  inconsistent.cells.assign(10, 1);
  EXPECT_EQ(thinShape(inconsistent) + thinShape(empty), quiet + quiet);
}
