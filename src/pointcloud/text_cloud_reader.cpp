// The five-column text reader: x, z, height, an unused value and the ground height under
// the point, with an optional settings header, and key points that join the cloud to the
// ground (a line of points towards the centroid when the cloud floats above the ground,
// otherwise one root point where the trunk meets the ground).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "pointcloud/point_cloud.h"
#include "pointcloud/text_scanner.h"
#include "settings/settings.h"

namespace {

constexpr uint32_t kSpareRecords = 100;
constexpr size_t kMaxPoints = INT32_MAX - kSpareRecords;
constexpr int kColumns = 5;
// Spacing of the key points laid from the ground towards the centroid.
constexpr double kGroundLineStep = 0.75;

struct Vec {
  double x = 0, y = 0, z = 0;
};

double distance(const Vec& a, const Vec& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// The points of the file and their ground points, and what the reading met.
struct TextRows {
  std::vector<PointRecord> points;        // (c1, c3, c2)
  std::vector<PointRecord> groundPoints;  // (c1, c5, c2)
  size_t numbers = 0;                     // numbers read, a trailing partial row included
  size_t firstNonFinite = SIZE_MAX;       // index of the first row with a used value that is not finite
};

// Reads numbers as "%lf" until a read fails or the text ends, five to a row. The rows go
// straight into the point arrays (reserved from the line count, the usual layout) rather
// than through a list of all numbers, to save a pass and memory on large clouds.
TextRows readRows(TextScanner& scanner) {
  TextRows rows;
  const std::string_view rest = scanner.text().substr(scanner.position());
  // A point takes at least ten characters ("0 0 0 0 0\n"): blank lines reserve nothing.
  const size_t lines =
      std::min(static_cast<size_t>(std::count(rest.begin(), rest.end(), '\n')) + 1, rest.size() / (2 * kColumns) + 1);
  rows.points.reserve(lines + kSpareRecords);
  rows.groundPoints.reserve(lines);
  double c[kColumns];
  int filled = 0;
  while (scanner.readDouble(&c[filled])) {
    ++rows.numbers;
    if (++filled < kColumns) continue;
    filled = 0;
    const bool finite = std::isfinite(c[0]) && std::isfinite(c[1]) && std::isfinite(c[2]) && std::isfinite(c[4]);
    if (!finite && rows.firstNonFinite == SIZE_MAX) rows.firstNonFinite = rows.points.size();
    rows.points.push_back(PointRecord{c[0], c[2], c[1], 0});
    rows.groundPoints.push_back(PointRecord{c[0], c[4], c[1], 0});
  }
  return rows;
}

// Where the root of a cloud that stands on the ground goes: below the mean of its lowest
// points B, back along the mean direction from B to the points around it, at ground level G.
PointRecord trunkRoot(const std::vector<PointRecord>& points, uint32_t n, const PointRecord& min,
                      const PointRecord& max, double ground) {
  const Vec centre{(min.x + max.x) / 2, ground, (min.z + max.z) / 2};
  Vec base;
  uint32_t lowest = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (points[i].y != min.y) continue;
    base.x += points[i].x;
    base.y += points[i].y;
    base.z += points[i].z;
    ++lowest;
  }
  base = Vec{base.x / lowest, base.y / lowest, base.z / lowest};

  Vec direction;
  uint32_t around = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const Vec p{points[i].x, points[i].y, points[i].z};
    const double d = distance(p, base);
    if (std::fabs(p.y - base.y) > 0.001 && d < 2 * g_dSearchRadius) {
      direction.x += (p.x - base.x) / d;
      direction.y += (p.y - base.y) / d;
      direction.z += (p.z - base.z) / d;
      ++around;
    }
  }
  Vec root{base.x, ground, base.z};
  if (around > 0) {
    const Vec mean{direction.x / around, direction.y / around, direction.z / around};
    if (std::fabs(mean.y) <= 0.001) return PointRecord{centre.x, ground, centre.z, 0};
    const double t = (ground - base.y) / mean.y;
    root = Vec{base.x + t * mean.x, ground, base.z + t * mean.z};
  }
  const double offCentre = distance(root, centre);
  if (offCentre > 0.25 * (max.x - min.x) || offCentre > 0.25 * (max.y - min.y)) {
    return PointRecord{centre.x, ground, centre.z, 0};
  }
  return PointRecord{root.x, root.y, root.z, 0};
}

}  // namespace

bool PointCloud::readTextCloud(const std::string& path) {
  std::string text;
  return readCloudFile(path, &text) && parseTextCloud(path, text);
}

bool PointCloud::parseTextCloud(const std::string& path, std::string_view text) {
  reset();
  const char* name = path.c_str();

  TextScanner scanner(text);
  std::string word;
  size_t dataStart = 0;
  if (scanner.readWord(&word) && word[0] == '#') {
    scanner.skipSpace();
    readSettingsHeader(scanner, kTextHeaderLines, path);
    dataStart = scanner.position();
  }
  scanner.seek(dataStart);
  TextRows rows = readRows(scanner);
  const size_t n = rows.points.size();
  std::printf("Number of points (%s): %ld\n", name, static_cast<long>(n));
  scanner.skipSpace();
  if (!scanner.atEnd()) {
    std::printf("WARNING: point cloud [%s]: reading stopped at line %zu, which does not hold a number\n", name,
                scanner.lineNumber());
  }
  if (rows.numbers % kColumns != 0) {
    std::printf("WARNING: point cloud [%s]: %zu trailing value(s) do not make a whole point and are ignored\n", name,
                rows.numbers % kColumns);
  }
  if (n == 0) return reject(path, "the file holds no points");
  if (n > kMaxPoints) return reject(path, "the file holds " + std::to_string(n) + " points, too many to load");
  if (rows.firstNonFinite != SIZE_MAX) {
    return reject(path, "point " + std::to_string(rows.firstNonFinite + 1) + " holds a value that is not finite");
  }

  count = fileCount = static_cast<uint32_t>(n);
  points.swap(rows.points);
  points.resize(n + kSpareRecords);
  colours.assign(n + kSpareRecords, PointRecord());
  groundPoints.swap(rows.groundPoints);
  double sumX = 0, sumY = 0, sumZ = 0, sumGround = 0;
  minCorner = maxCorner = points[0];
  for (uint32_t i = 0; i < count; ++i) {
    const PointRecord& p = points[i];
    sumX += p.x;
    sumY += p.y;
    sumZ += p.z;
    sumGround += groundPoints[i].y;
    updateBounds(minCorner, maxCorner, p);
  }

  const Vec centroid{sumX / n, sumY / n, sumZ / n};
  const double ground = sumGround / n;
  const double centreX = (minCorner.x + maxCorner.x) / 2;
  const double centreZ = (minCorner.z + maxCorner.z) / 2;
  baseCorner = minCorner;
  rootIndex = keyBegin = static_cast<int32_t>(n);
  if (std::fabs(minCorner.y - ground) / (maxCorner.y - ground) > 0.1) {
    // Floating above the ground: a line of points from the ground towards the centroid.
    uint32_t added = 0;
    if (centroid.y > ground) {
      for (double level = ground; level < centroid.y && added < kSpareRecords; level += kGroundLineStep) {
        const double m = (level - ground) / (centroid.y - ground);
        points[count] =
            PointRecord{centreX + m * (centroid.x - centreX), level, centreZ + m * (centroid.z - centreZ), 0};
        ++count;
        ++added;
        if (level < baseCorner.y) keyBegin = static_cast<int32_t>(count);
      }
    }
    keyEnd = static_cast<int32_t>(count);
  } else {
    points[count] = trunkRoot(points, fileCount, minCorner, maxCorner, ground);
    ++count;
    keyBegin = keyEnd = static_cast<int32_t>(count);
  }
  minCorner.y = ground;
  scale = 1.0;
  return finishLoad(path);
}
