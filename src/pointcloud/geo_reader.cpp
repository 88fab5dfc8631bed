// The geo-referenced reader: five numbers per point (latitude, longitude, height, an unused
// value, ground height under the point), latitude and longitude in degrees projected to UTM
// metres, each point in its own zone. X is the easting, Z the northing and Y the height.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pointcloud/point_cloud.h"
#include "pointcloud/reader_support.h"
#include "pointcloud/text_scanner.h"
#include "pointcloud/utm.h"
#include "settings/settings.h"

namespace {

constexpr int kColumns = 5;

// What reading the numbers met: where it stopped at a token that is not a number (0 when it
// reached the end), or the line of a value that is not finite (0 when there is none).
struct GeoNumbers {
  std::vector<double> values;
  size_t stoppedLine = 0;
  size_t nonFiniteLine = 0;
};

// Reads numbers as "%lf" reads do until the end of the file or a token that is not a number,
// keeping what was read before it, as the text reader does. A value that is not finite stops
// the reading too: it is a fault of the file.
GeoNumbers readNumbers(TextScanner& scanner) {
  GeoNumbers numbers;
  numbers.values.reserve(scanner.text().size() / 8);
  for (;;) {
    scanner.skipSpace();
    if (scanner.atEnd()) return numbers;
    const size_t start = scanner.position();
    double value;
    const bool isNumber = scanner.readDouble(&value);
    if (!isNumber || !std::isfinite(value)) {
      scanner.seek(start);
      (isNumber ? numbers.nonFiniteLine : numbers.stoppedLine) = scanner.lineNumber();
      return numbers;
    }
    numbers.values.push_back(value);
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
  FileBytes text;
  return readCloudFile(path, &text) && parseGeoCloud(path, text.view());
}

bool PointCloud::parseGeoCloud(const std::string& path, std::string_view text) {
  reset();
  const char* name = path.c_str();

  TextScanner scanner(text);
  const GeoNumbers numbers = readNumbers(scanner);
  if (numbers.nonFiniteLine != 0) {
    return reject(path, "line " + std::to_string(numbers.nonFiniteLine) + " holds a value that is not finite");
  }
  const std::vector<double>& values = numbers.values;
  const size_t n = values.size() / kColumns;
  std::printf("Number of points (%s): %ld\n", name, static_cast<long>(n));
  if (numbers.stoppedLine != 0) {
    std::printf("WARNING: point cloud [%s]: reading stopped at line %zu, which does not hold a number\n", name,
                numbers.stoppedLine);
  }
  if (!acceptPointCount(path, n)) return false;

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
  frame = ScanFrame::zUp();  // the scan's coordinates are (easting, northing, height)

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
