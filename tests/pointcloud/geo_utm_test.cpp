// latLonToUtm: the fixed points of the projection, zone choice, the southern false
// northing, range checks, and agreement with GeographicLib's exact transverse Mercator.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

#include "pointcloud/utm.h"

#ifdef FRONDAREL_HAVE_GEOGRAPHICLIB
#include <GeographicLib/UTMUPS.hpp>
#endif

namespace {

UtmCoordinate project(double lat, double lon) {
  UtmCoordinate utm;
  EXPECT_EQ(latLonToUtm(lat, lon, &utm), UtmStatus::kOk) << lat << " " << lon;
  return utm;
}

TEST(GeoUtm, CentralMeridianOnTheEquatorIsTheFalseOrigin) {
  UtmCoordinate utm = project(0.0, 3.0);
  EXPECT_EQ(utm.zone, 31);
  EXPECT_DOUBLE_EQ(utm.easting, 500000.0);
  EXPECT_DOUBLE_EQ(utm.northing, 0.0);
}

TEST(GeoUtm, SouthernPointsGetTheFalseNorthing) {
  for (double lat : {0.5, 10.0, 33.3, 61.0}) {
    UtmCoordinate north = project(lat, 7.25);
    UtmCoordinate south = project(-lat, 7.25);
    // The series is odd in latitude, so the southern northing mirrors the northern one.
    EXPECT_NEAR(south.northing, 10000000.0 - north.northing, 1e-6) << lat;
    EXPECT_NEAR(south.easting, north.easting, 1e-6) << lat;
    EXPECT_GT(south.northing, 0.0) << lat;
    EXPECT_LT(south.northing, 10000000.0) << lat;
  }
}

TEST(GeoUtm, NeighbouringZonesAreProjectedEachInItsOwnZone) {
  // Two points 150 m apart on both sides of the 6 degree east boundary (zones 31 and 32).
  UtmCoordinate west = project(45.0, 5.999);
  UtmCoordinate east = project(45.0, 6.001);
  EXPECT_EQ(west.zone, 31);
  EXPECT_EQ(east.zone, 32);
  EXPECT_GT(west.easting, 700000.0);  // near the eastern edge of zone 31
  EXPECT_LT(east.easting, 300000.0);  // near the western edge of zone 32
  // Mirror images about the zone boundary: same distance from the two central meridians.
  EXPECT_NEAR(west.easting - 500000.0, 500000.0 - east.easting, 1.0);
  EXPECT_NEAR(west.northing, east.northing, 1e-3);
  EXPECT_EQ(project(0.0, -180.0).zone, 1);
  EXPECT_EQ(project(0.0, 179.999).zone, 60);
}

TEST(GeoUtm, OutOfRangeCoordinatesFailWithoutTouchingTheResult) {
  UtmCoordinate utm;
  utm.easting = 1.0, utm.northing = 2.0, utm.zone = 3;
  EXPECT_EQ(latLonToUtm(90.0001, 0.0, &utm), UtmStatus::kLatitudeOutOfRange);
  EXPECT_EQ(latLonToUtm(-91.0, 0.0, &utm), UtmStatus::kLatitudeOutOfRange);
  EXPECT_EQ(latLonToUtm(NAN, 0.0, &utm), UtmStatus::kLatitudeOutOfRange);
  EXPECT_EQ(latLonToUtm(95.0, 200.0, &utm), UtmStatus::kLatitudeOutOfRange);  // latitude is checked first
  EXPECT_EQ(latLonToUtm(0.0, 180.5, &utm), UtmStatus::kLongitudeOutOfRange);
  EXPECT_EQ(latLonToUtm(0.0, -181.0, &utm), UtmStatus::kLongitudeOutOfRange);
  EXPECT_EQ(latLonToUtm(0.0, NAN, &utm), UtmStatus::kLongitudeOutOfRange);
  EXPECT_EQ(utm.easting, 1.0);
  EXPECT_EQ(utm.northing, 2.0);
  EXPECT_EQ(utm.zone, 3);
  EXPECT_STREQ(utmStatusMessage(UtmStatus::kLatitudeOutOfRange), "Latitude must be between -90 and 90\n");
  EXPECT_STREQ(utmStatusMessage(UtmStatus::kLongitudeOutOfRange), "Longitude must be between -180 and 180\n");
  // The range ends themselves are valid and give finite metres, the poles included.
  for (double lat : {-90.0, 90.0}) {
    UtmCoordinate pole = project(lat, -180.0);
    EXPECT_TRUE(std::isfinite(pole.easting) && std::isfinite(pole.northing)) << lat;
  }
}

#ifdef FRONDAREL_HAVE_GEOGRAPHICLIB

// Largest easting or northing difference (m) from GeographicLib, forced to our zone.
double differenceFromReference(double lat, double lon) {
  UtmCoordinate ours = project(lat, lon);
  int zone = 0;
  bool northp = false;
  double x = 0.0, y = 0.0;
  GeographicLib::UTMUPS::Forward(lat, lon, zone, northp, x, y, ours.zone);
  EXPECT_EQ(zone, ours.zone);
  return std::fmax(std::fabs(x - ours.easting), std::fabs(y - ours.northing));
}

TEST(GeoUtm, AgreesWithGeographicLibWithinTwoMillimetres) {
  double worst = 0.0, worstLat = 0.0, worstLon = 0.0;
  auto check = [&](double lat, double lon) {
    double d = differenceFromReference(lat, lon);
    if (d > worst) worst = d, worstLat = lat, worstLon = lon;
  };
  // A grid over latitudes 80 S .. 84 N and offsets up to 3 degrees from the central
  // meridian, in zones spread around the globe (1, 17, 31, 32, 45, 60).
  for (int zone : {1, 17, 31, 32, 45, 60}) {
    double centralMeridian = 6.0 * zone - 183.0;
    for (double lat = -80.0; lat <= 84.0; lat += 2.0) {
      for (double offset = -2.999; offset < 3.0; offset += 0.5) check(lat, centralMeridian + offset);
    }
  }
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> latitude(-80.0, 84.0), longitude(-180.0, 179.999999);
  for (int i = 0; i < 20000; ++i) check(latitude(rng), longitude(rng));
  std::printf("largest difference from GeographicLib: %.3f mm at lat %.4f lon %.4f\n", worst * 1000.0, worstLat,
              worstLon);
  EXPECT_LT(worst, 0.002);
}

#else

TEST(GeoUtm, AgreesWithGeographicLibWithinTwoMillimetres) {
  GTEST_SKIP() << "GeographicLib not found";
}

#endif

}  // namespace
