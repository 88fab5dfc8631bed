#include "pointcloud/utm.h"

#include <cmath>

#include "tree/geometry.h"

namespace {

constexpr double kDegree = kRadiansPerDegree;

// WGS84 semi-major axis (m), first eccentricity, second eccentricity squared, UTM scale.
constexpr double kA = 6378137.0;
constexpr double kE = 0.08181919084;
constexpr double kE2Prime = 0.006739496741;
constexpr double kK0 = 0.9996;

// Meridian arc length from the equator to latitude phi (radians).
double meridianArc(double phi) {
  return kA * (0.9983242985 * phi - 0.00251460706 * std::sin(2.0 * phi) + 2.639046594e-06 * std::sin(4.0 * phi) -
               3.418046085e-09 * std::sin(6.0 * phi));
}

}  // namespace

UtmStatus latLonToUtm(double latitude, double longitude, UtmCoordinate* out) {
  if (!(latitude >= -90.0 && latitude <= 90.0)) return UtmStatus::kLatitudeOutOfRange;
  if (!(longitude >= -180.0 && longitude <= 180.0)) return UtmStatus::kLongitudeOutOfRange;

  const int zone = static_cast<int>(std::floor((longitude + 180.0) / 6.0)) + 1;
  const double centralMeridian = 6.0 * zone - 183.0;
  const double phi = latitude * kDegree;
  const double sinPhi = std::sin(phi), cosPhi = std::cos(phi), tanPhi = std::tan(phi);

  const double n = kA / std::sqrt(1.0 - (kE * sinPhi) * (kE * sinPhi));
  const double t = tanPhi * tanPhi;
  const double c = kE2Prime * cosPhi * cosPhi;
  const double a = (longitude - centralMeridian) * kDegree * cosPhi;
  const double a2 = a * a, a3 = a2 * a, a4 = a3 * a, a5 = a4 * a, a6 = a5 * a;
  const double m = meridianArc(phi);

  out->easting =
      kK0 * n * (a + (1.0 - t + c) * a3 / 6.0 + (5.0 - 18.0 * t + t * t + 72.0 * c - 0.390890811) * a5 / 120.0) +
      500000.0;
  double northing = kK0 * (m + n * tanPhi *
                                   (a2 / 2.0 + (5.0 - t + 9.0 * c + 4.0 * c * c) * a4 / 24.0 +
                                    (61.0 - 58.0 * t + t * t + 600.0 * c - 2.224033925) * a6 / 720.0));
  if (northing < 0.0) northing += 10000000.0;
  out->northing = northing;
  out->zone = zone;
  return UtmStatus::kOk;
}

const char* utmStatusMessage(UtmStatus status) {
  switch (status) {
    case UtmStatus::kLatitudeOutOfRange:
      return "Latitude must be between -90 and 90\n";
    case UtmStatus::kLongitudeOutOfRange:
      return "Longitude must be between -180 and 180\n";
    case UtmStatus::kOk:
      break;
  }
  return "";
}
