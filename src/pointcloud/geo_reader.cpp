// The geo-referenced reader: five numbers per point (latitude, longitude, height, an unused
// value, ground height under the point), latitude and longitude in degrees projected to UTM
// metres, each point in its own zone. X is the easting, Z the northing and Y the height.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "pointcloud/point_cloud.h"
#include "pointcloud/text_scanner.h"
#include "pointcloud/utm.h"

namespace {

constexpr int kColumns = 5;
constexpr size_t kMaxPoints = INT32_MAX - 1;

// Reads every number of the file as "%lf" reads do, but treats a token that is not a number
// before the end of the file, and a value that is not finite, as a fault of the file: then
// prints a message naming the file and the line, and returns false.
bool readAllNumbers(const std::string& path, TextScanner& scanner, std::vector<double>* values) {
  values->reserve(scanner.text().size() / 8);
  for (;;) {
    scanner.skipSpace();
    if (scanner.atEnd()) return true;
    const size_t start = scanner.position();
    double value;
    const bool isNumber = scanner.readDouble(&value);
    if (!isNumber || !std::isfinite(value)) {
      scanner.seek(start);
      std::printf("ERROR: point cloud [%s]: line %zu holds a value that is not %s!\n", path.c_str(),
                  scanner.lineNumber(), isNumber ? "finite" : "a number");
      return false;
    }
    values->push_back(value);
  }
}

// Minimum and maximum of the latitudes and longitudes that could be projected.
struct GeoRange {
  bool any = false;
  double minLat = 0.0, maxLat = 0.0, minLon = 0.0, maxLon = 0.0;

  void add(double lat, double lon) {
    if (!any) {
      minLat = maxLat = lat;
      minLon = maxLon = lon;
      any = true;
      return;
    }
    minLat = std::fmin(minLat, lat), maxLat = std::fmax(maxLat, lat);
    minLon = std::fmin(minLon, lon), maxLon = std::fmax(maxLon, lon);
  }
};

// Tells about points whose latitude or longitude is out of range: the message of the first
// point of each kind, then one count at the end, instead of one line per point.
class InvalidCoordinateReport {
 public:
  void note(UtmStatus status) {
    bool& shown = status == UtmStatus::kLatitudeOutOfRange ? latitudeShown_ : longitudeShown_;
    if (!shown) std::printf("%s", utmStatusMessage(status));
    shown = true;
    ++count_;
  }
  void printCount() const {
    if (count_ > 0) std::printf("%ld points had an invalid latitude or longitude\n", count_);
  }

 private:
  bool latitudeShown_ = false;
  bool longitudeShown_ = false;
  long count_ = 0;
};

}  // namespace

bool PointCloud::readGeoCloud(const std::string& path) {
  std::string text;
  if (!readCloudFile(path, &text)) return false;
  reset();
  const char* name = path.c_str();

  TextScanner scanner(text);
  std::vector<double> values;
  if (!readAllNumbers(path, scanner, &values)) return false;
  const size_t n = values.size() / kColumns;
  std::printf("Number of points (%s): %ld\n", name, static_cast<long>(n));
  if (n == 0) {
    std::printf("ERROR: point cloud [%s]: the file holds no points!\n", name);
    return false;
  }
  if (n > kMaxPoints) {
    std::printf("ERROR: point cloud [%s]: the file holds %zu points, too many to load!\n", name, n);
    return false;
  }

  count = static_cast<uint32_t>(n);
  points.assign(n + 1, PointRecord());
  GeoRange range;
  InvalidCoordinateReport invalid;
  double sumGround = 0.0;
  for (uint32_t i = 0; i < count; ++i) {
    // Columns: latitude, longitude, height, an unused value, ground height.
    const double* record = &values[static_cast<size_t>(i) * kColumns];
    const double lat = record[0], lon = record[1], height = record[2], ground = record[4];
    PointRecord& p = points[i];
    p.y = height;
    UtmCoordinate utm;
    const UtmStatus status = latLonToUtm(lat, lon, &utm);
    if (status == UtmStatus::kOk) {
      p.x = utm.easting;
      p.z = utm.northing;
      range.add(lat, lon);
    } else {
      invalid.note(status);  // the point stays at x = z = 0
    }
    sumGround += ground;
    if (i == 0) {
      minCorner = maxCorner = p;
    } else {
      updateBounds(minCorner, maxCorner, p);
    }
  }
  invalid.printCount();

  if (range.any) {
    g_dModelLongitude = (range.minLon + range.maxLon) / 2;
    g_dModelLatitude = (range.minLat + range.maxLat) / 2;
    std::printf("Model location: longitude=%.9f latitude=%.9f\n", g_dModelLongitude, g_dModelLatitude);
  }
  fileCount = count;

  baseCorner = minCorner;
  const double groundLevel = sumGround / n;
  if (std::fabs(minCorner.y - groundLevel) / (maxCorner.y - groundLevel) > 0.1) {
    // The cloud floats above its ground: one root point on the ground under the box centre.
    points[n] = PointRecord{(minCorner.x + maxCorner.x) / 2, groundLevel, (minCorner.z + maxCorner.z) / 2, 0};
    rootIndex = static_cast<int32_t>(n);
    keyBegin = keyEnd = static_cast<int32_t>(n + 1);
    count = static_cast<uint32_t>(n + 1);
    minCorner.y = groundLevel;
  }
  scale = 1.0;
  return finishLoad(path);
}
