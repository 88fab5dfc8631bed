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

TEST(GeoUtm, FalseOriginFalseNorthingAndOneZonePerPoint) {
  const UtmCoordinate origin = project(0.0, 3.0);
  EXPECT_EQ(origin.zone, 31);
  EXPECT_DOUBLE_EQ(origin.easting, 500000.0);
  EXPECT_DOUBLE_EQ(origin.northing, 0.0);

  // The series is odd in latitude, so a southern northing mirrors the northern one about 10,000,000.
  for (double lat : {0.5, 10.0, 33.3, 61.0}) {
    const UtmCoordinate north = project(lat, 7.25), south = project(-lat, 7.25);
    EXPECT_NEAR(south.northing, 10000000.0 - north.northing, 1e-6) << lat;
    EXPECT_NEAR(south.easting, north.easting, 1e-6) << lat;
  }

  // Two points 150 m apart on both sides of the 6 degree east boundary: mirror images about
  // it, each near the edge of its own zone.
  const UtmCoordinate west = project(45.0, 5.999), east = project(45.0, 6.001);
  EXPECT_EQ(west.zone, 31);
  EXPECT_EQ(east.zone, 32);
  EXPECT_GT(west.easting, 700000.0);
  EXPECT_NEAR(west.easting - 500000.0, 500000.0 - east.easting, 1.0);
  EXPECT_NEAR(west.northing, east.northing, 1e-3);
  EXPECT_EQ(project(0.0, -180.0).zone, 1);
  EXPECT_EQ(project(0.0, 179.999).zone, 60);
}

// Latitude is checked first; the console lines are checked through the geo reader.
TEST(GeoUtm, OutOfRangeCoordinatesFailWithoutTouchingTheResult) {
  const UtmStatus lat = UtmStatus::kLatitudeOutOfRange, lon = UtmStatus::kLongitudeOutOfRange;
  const struct {
    double lat, lon;
    UtmStatus status;
  } cases[] = {{90.0001, 0, lat}, {-91, 0, lat}, {NAN, 0, lat}, {95, 200, lat}, {0, 180.5, lon}, {0, NAN, lon}};
  for (const auto& c : cases) {
    UtmCoordinate utm{1.0, 2.0, 3};
    EXPECT_EQ(latLonToUtm(c.lat, c.lon, &utm), c.status) << c.lat << " " << c.lon;
    EXPECT_TRUE(utm.easting == 1.0 && utm.northing == 2.0 && utm.zone == 3);
  }
  // The range ends themselves are valid and give finite metres, the poles included.
  for (double lat : {-90.0, 90.0}) {
    const UtmCoordinate pole = project(lat, -180.0);
    EXPECT_TRUE(std::isfinite(pole.easting) && std::isfinite(pole.northing)) << lat;
  }
}

#ifdef FRONDAREL_HAVE_GEOGRAPHICLIB

TEST(GeoUtm, AgreesWithGeographicLibWithinTwoMillimetres) {
  double worst = 0.0;
  auto check = [&](double lat, double lon) {
    const UtmCoordinate ours = project(lat, lon);
    int zone = 0;
    bool northp = false;
    double x = 0.0, y = 0.0;
    GeographicLib::UTMUPS::Forward(lat, lon, zone, northp, x, y, ours.zone);
    EXPECT_EQ(zone, ours.zone);
    const double d = std::fmax(std::fabs(x - ours.easting), std::fabs(y - ours.northing));
    EXPECT_LT(d, 0.002) << lat << " " << lon;
    worst = std::fmax(worst, d);
  };
  // A grid over latitudes 80 S .. 84 N and offsets up to 3 degrees from the central meridian in
  // zones around the globe, then random points anywhere in that latitude band.
  for (int zone : {1, 17, 31, 32, 45, 60}) {
    for (double lat = -80.0; lat <= 84.0; lat += 2.0) {
      for (double offset = -2.999; offset < 3.0; offset += 0.5) check(lat, 6.0 * zone - 183.0 + offset);
    }
  }
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> latitude(-80.0, 84.0), longitude(-180.0, 179.999999);
  for (int i = 0; i < 20000; ++i) check(latitude(rng), longitude(rng));
  std::printf("largest difference from GeographicLib: %.3f mm\n", worst * 1000.0);
}

#else

TEST(GeoUtm, AgreesWithGeographicLibWithinTwoMillimetres) {
  GTEST_SKIP() << "GeographicLib not found";
}

#endif

}  // namespace
