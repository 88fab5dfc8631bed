#include "skeleton/shortest_path.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <functional>
#include <queue>
#include <utility>

#include "skeleton/tree_reconstructor.h"

namespace {

// Stands for "no edge": the diagonal.
constexpr double kUnreachable = 2147483647.0;
// A cone wider than this (as the chord between unit directions) is swept whole.
constexpr double kWidestCone = 0.25;

void printProgress(uint32_t k, uint32_t n) {
  std::printf("\b\b\b\b\b\b\b%4.1f%%", 100.0 * k / (n - 1));
  std::fflush(stdout);  // the counter is rewritten in place, so it has no line end to flush it
}

void printUnreachable() {
  std::printf("\b\b\b\b\b\b\b100.0%%");
}

bool plainGeometry(const std::vector<Vec3>& p) {
  return std::all_of(p.begin(), p.end(), [](const Vec3& v) {
    return v.status == kVecValid && std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
  });
}

// Unit directions from the root filed in a grid over [-1, 1]^3, to find those near a given one.
class DirectionIndex {
 public:
  static constexpr int kCells = 64;  // per axis

  void build(const std::vector<Vec3>& units, const std::vector<uint8_t>& filed) {
    start_.assign(kCells * kCells * kCells + 1, 0);
    for (size_t j = 0; j < units.size(); ++j) {
      if (filed[j]) ++start_[cellOf(units[j]) + 1];
    }
    for (size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
    vertex_.resize(start_.back());
    std::vector<uint32_t> fill(start_.begin(), start_.end() - 1);
    for (size_t j = 0; j < units.size(); ++j) {
      if (filed[j]) vertex_[fill[cellOf(units[j])]++] = static_cast<uint32_t>(j);
    }
  }

  // Calls visit(j) for every filed j whose direction may lie within chord of u.
  template <typename Visit>
  void near(const Vec3& u, double chord, Visit visit) const {
    const double c[3] = {u.x, u.y, u.z};
    int from[3], to[3];
    for (int a = 0; a < 3; ++a) {
      from[a] = along(c[a] - chord);
      to[a] = along(c[a] + chord);
    }
    for (int z = from[2]; z <= to[2]; ++z)
      for (int y = from[1]; y <= to[1]; ++y)
        for (int x = from[0]; x <= to[0]; ++x) {
          const int cell = (z * kCells + y) * kCells + x;
          for (uint32_t k = start_[cell]; k < start_[cell + 1]; ++k) visit(vertex_[k]);
        }
  }

 private:
  static int along(double c) {
    const double t = std::floor((c + 1.0) * (kCells / 2.0));
    return t <= 0.0 ? 0 : t >= kCells - 1 ? kCells - 1 : static_cast<int>(t);
  }
  static int cellOf(const Vec3& u) { return (along(u.z) * kCells + along(u.y)) * kCells + along(u.x); }

  std::vector<uint32_t> start_;
  std::vector<uint32_t> vertex_;
};

}  // namespace

std::vector<int64_t> shortestPathTree(const std::vector<Vec3>& positions, uint32_t a, bool exhaustive) {
  const uint32_t n = static_cast<uint32_t>(positions.size());
  auto weight = [&](uint32_t i, uint32_t j) {
    return i == j ? kUnreachable : graphDistance(positions[i], positions[j]);
  };
  std::vector<double> tentative(n), direct(n);
  std::vector<uint8_t> settled(n, 0);
  std::vector<int64_t> predecessor(n, -1);
  for (uint32_t j = 0; j < n; ++j) {
    tentative[j] = direct[j] = weight(a, j);
    if (j != a && tentative[j] < kUnreachable) predecessor[j] = a;
  }
  tentative[a] = 0.0;
  settled[a] = 1;

  auto relax = [&](uint32_t d, uint32_t j) {
    const double w = weight(d, j);
    if (w < kUnreachable && tentative[j] > tentative[d] + w) {
      tentative[j] = tentative[d] + w;
      predecessor[j] = d;
      return true;
    }
    return false;
  };

  // Far vertices (an edge of kUnreachable or more counts as none) fall back to the sweep too.
  bool pruned = !exhaustive && plainGeometry(positions);
  for (uint32_t j = 0; j < n && pruned; ++j) pruned = j == a || direct[j] < kUnreachable;
  if (!pruned) {
    // Relaxing through d and looking for the next vertex in one sweep: a vertex's tentative
    // distance changes only at its own place in the sweep.
    auto better = [&](int64_t j, int64_t best) { return best < 0 || tentative[j] < tentative[best]; };
    int64_t next = -1;
    for (uint32_t j = 0; j < n; ++j) {
      if (!settled[j] && tentative[j] < kUnreachable && better(j, next)) next = j;
    }
    for (uint32_t k = 1; k < n; ++k) {
      const int64_t d = next;
      if (d < 0) {
        printUnreachable();
        break;
      }
      settled[d] = 1;
      next = -1;
      for (uint32_t j = 0; j < n; ++j) {
        if (settled[j]) continue;
        relax(static_cast<uint32_t>(d), j);
        if (tentative[j] < kUnreachable && better(j, next)) next = j;
      }
      printProgress(k, n);
    }
    return predecessor;
  }

  // The vertices in order of (tentative distance, index): the first of the least first.
  using Entry = std::pair<double, uint32_t>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
  double farthest = 0.0;
  std::vector<Vec3> units(n);
  std::vector<uint8_t> filed(n, 0);
  for (uint32_t j = 0; j < n; ++j) {
    if (j == a) continue;
    queue.push({tentative[j], j});
    farthest = std::max(farthest, direct[j]);
    // A vertex at distance 0 keeps tentative distance 0: nothing beats it.
    if (direct[j] > 0.0) {
      units[j] = normalised(positions[j] - positions[a]);
      filed[j] = 1;
    }
  }
  DirectionIndex index;
  index.build(units, filed);
  // With path sums of at most n edges, each step rounding by an ulp or two, a path through d
  // beats j's direct edge only if d + |dj| - |aj| < eta (d + |dj|) (distances from the root a).
  // That puts j's direction from a within chord sqrt(|aj| eta' (2 + eta') / |ad|) of d's; eta
  // is taken 64 times larger than that rounding needs.
  const double eta = 64.0 * (n + 16.0) * DBL_EPSILON;
  const double etaPrime = eta / (1.0 - eta);
  const double spread = farthest * etaPrime * (2.0 + etaPrime);

  for (uint32_t k = 1; k < n; ++k) {
    int64_t d = -1;
    while (!queue.empty()) {
      const Entry top = queue.top();
      queue.pop();
      if (!settled[top.second] && top.first == tentative[top.second]) {
        d = top.second;
        break;
      }
    }
    if (d < 0) {
      printUnreachable();
      break;
    }
    settled[d] = 1;
    const uint32_t from = static_cast<uint32_t>(d);
    auto visit = [&](uint32_t j) {
      if (!settled[j] && relax(from, j)) queue.push({tentative[j], j});
    };
    const Vec3 &p = positions[from], &r = positions[a];
    const double chord = direct[from] > 0.0 ? std::sqrt(spread / (direct[from] * (1.0 - 1e-9))) * 1.001 + 1e-9 : 2.0;
    if (chord <= kWidestCone) {
      index.near(units[from], chord, visit);
    } else if (!(p.x == r.x && p.y == r.y && p.z == r.z)) {
      // (A vertex at the root's very place is as far as the root from every other: it
      // shortens nothing.)
      for (uint32_t j = 0; j < n; ++j) visit(j);
    }
    printProgress(k, n);
  }
  return predecessor;
}
