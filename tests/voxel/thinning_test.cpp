// Thinning: the fast local tests against plain flood fills, a plain re-implementation of the
// peeling on random shapes and lines, cell for cell and byte for byte on the console, with end
// points kept and a second run removing nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>

#include "support/test_support.h"
#include "voxel/thinning.h"
#include "voxel/voxel_volume.h"

namespace {

using Cell3 = std::array<int, 3>;  // dx, dz, dy

const auto distance2 = [](const Cell3& a, const Cell3& b = {0, 0, 0}) {
  return (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]);
};

// The 26 neighbours in the documented order: dY = +1, 0, -1; dZ = -1..1; dX = -1..1.
const std::vector<Cell3> kBlock = [] {
  std::vector<Cell3> v;
  for (int dy = 1; dy >= -1; --dy)
    for (int dz = -1; dz <= 1; ++dz)
      for (int dx = -1; dx <= 1; ++dx)
        if (dx || dy || dz) v.push_back({dx, dz, dy});
  return v;
}();

// Whether the members of targets lie in one component of set, neighbours linked when their
// squared distance is at most link2 (plain flood fill).
bool oneComponent(uint32_t set, uint32_t targets, int link2) {
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

const auto plainObjectTest = [](uint32_t mask) { return oneComponent(mask, mask, 3); };
// The empty face neighbours in one 6-connected component of the empty face and edge neighbours.
const auto plainBackgroundTest = [](uint32_t mask) {
  uint32_t faces = 0, region18 = 0;
  for (int i = 0; i < 26; ++i)
    faces |= uint32_t(distance2(kBlock[i]) == 1) << i, region18 |= uint32_t(distance2(kBlock[i]) <= 2) << i;
  return oneComponent(~mask & region18, ~mask & faces, 1);
};

// Cells indexed like the volume: x + nx*(z + nz*y); outside reads as empty.
struct Shape {
  int nx, nz, ny;
  std::vector<uint8_t> cells;
  Shape(int x, int z, int y) : nx(x), nz(z), ny(y), cells(size_t(x) * z * y, 0) {}
  bool inside(int x, int z, int y) const { return x >= 0 && z >= 0 && y >= 0 && x < nx && z < nz && y < ny; }
  size_t index(int x, int z, int y) const { return x + size_t(nx) * (z + size_t(nz) * y); }
  Cell3 cell(size_t i) const { return {int(i % nx), int(i / nx % nz), int(i / nx / nz)}; }
  uint8_t at(int x, int z, int y) const { return inside(x, z, y) ? cells[index(x, z, y)] : 0; }
  uint32_t mask(const Cell3& c) const {
    uint32_t m = 0;
    for (int i = 0; i < 26; ++i) m |= uint32_t(at(c[0] + kBlock[i][0], c[1] + kBlock[i][1], c[2] + kBlock[i][2])) << i;
    return m;
  }
};

// Thins s in place through a volume of its size; returns what the thinning printed.
std::string thinShape(Shape& s) {
  VoxelVolume v;
  v.dimX = s.nx, v.dimZ = s.nz, v.dimY = s.ny, v.labels = s.cells;
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
    const Cell3 c = s.cell(j);
    if (!s.cells[j] || (face && s.at(c[0] + (*face)[0], c[1] + (*face)[1], c[2] + (*face)[2]))) return false;
    const uint32_t m = s.mask(c);
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

}  // namespace

// The fast local tests must agree with plain flood fills on every pattern of the 18 face and
// edge neighbours (corners at random); isSimple, their conjunction, meets the plain peeling.
TEST(ThinningLocalTests, AgreeWithPlainFloodFills) {
  const NeighbourTables t = buildNeighbourTables(10, 10);
  std::vector<int> region18, corners;
  for (int i = 0; i < 26; ++i) (distance2(kBlock[i]) <= 2 ? region18 : corners).push_back(i);
  std::mt19937 rng(26);
  for (uint32_t pattern = 0; pattern < (1u << 18); ++pattern) {
    uint32_t mask = 0;
    for (int k = 0; k < 18; ++k) mask |= (pattern >> k & 1u) << region18[k];
    for (int c : corners) mask |= uint32_t(rng() & 1u) << c;
    ASSERT_EQ(isBackgroundConnected(t, mask), plainBackgroundTest(mask)) << mask;
    ASSERT_TRUE(pattern % 4 != 0 || isObjectConnected(t, mask) == plainObjectTest(mask)) << mask;
  }
}

// Random blocks and 26-connected random walks (curves with tips, crossings and loops) thin as
// the plain peeling does, keep their end points, and a
// second run removes nothing; a single cell and straight lines of ten cells stay as they are.
TEST(Thinning, MatchesAPlainPeelingAndKeepsTopology) {
  std::mt19937 rng(42);
  std::vector<Shape> shapes;
  for (int k = 0; k < 4; ++k) {
    std::bernoulli_distribution on(0.3 + 0.15 * k);
    Shape block(12, 12, 12);  // random cells inside a one-cell empty margin
    for (size_t i = 0; i < block.cells.size(); ++i) {
      const Cell3 c = block.cell(i);
      block.cells[i] = std::min({c[0], c[1], c[2]}) > 0 && std::max({c[0], c[1], c[2]}) < 11 && on(rng);
    }
    shapes.push_back(block);
    Shape walks(14, 14, 14);
    for (int w = 0, x = 7, z = 7, y = 7; w < 40 * (k + 1); ++w) {
      walks.cells[walks.index(x, z, y)] = 1;
      x = std::clamp(x + int(rng() % 3) - 1, 1, 12), z = std::clamp(z + int(rng() % 3) - 1, 1, 12);
      y = std::clamp(y + int(rng() % 3) - 1, 1, 12);
    }
    shapes.push_back(walks);
  }
  const size_t lines = shapes.size();
  for (const Cell3& d : {Cell3{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 1, 1}, {1, -1, 1}}) {
    shapes.emplace_back(12, 12, 12);
    for (int k = 0; k < 10; ++k)
      shapes.back().cells[shapes.back().index(1 + k * d[0], (d[1] < 0 ? 10 : 1) + k * d[1], 1 + k * d[2])] = 1;
  }
  for (size_t k = 0; k < shapes.size(); ++k) {
    SCOPED_TRACE(k);
    const Shape& before = shapes[k];
    std::string expectedText;
    const std::vector<uint8_t> expected = plainThin(before, &expectedText);
    Shape after = before;
    EXPECT_EQ(thinShape(after), expectedText);
    EXPECT_EQ(after.cells, expected);
    EXPECT_TRUE(k < lines || after.cells == before.cells);
    for (size_t i = 0; i < before.cells.size(); ++i) {
      const bool endPoint = before.cells[i] && __builtin_popcount(before.mask(before.cell(i))) <= 1;
      ASSERT_TRUE(after.cells[i] <= before.cells[i] && (after.cells[i] || !endPoint)) << i;
    }
    Shape again = after;
    thinShape(again);
    EXPECT_EQ(again.cells, after.cells) << "a second run removed cells";
  }
}

// Fault: the peeling reads neighbours by linear offsets; cells at the volume's sides, and
// fields that do not describe the labels, made it read outside the array.
TEST(Thinning, FullDegenerateAndInconsistentVolumesStayInsideTheirArrays) {
  std::string quiet = "Number of deleted voxels: ";
  for (int k = 0; k < 6; ++k) quiet += stepText(0) + (k == 5 ? "\n" : "");
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
