// The UTM projection against GeographicLib's exact transverse Mercator.
#ifdef FRONDAREL_HAVE_GEOGRAPHICLIB

#include <gtest/gtest.h>
#include <GeographicLib/UTMUPS.hpp>

#include <cmath>
#include <cstdio>
#include <random>

#include "pointcloud/utm.h"

// Within 2 mm everywhere from 80 S to 84 N, false northing south of the equator included: a
// grid over zones around the globe up to 3 degrees from their central meridian, then random points.
TEST(GeoUtm, AgreesWithGeographicLibWithinTwoMillimetres) {
  double worst = 0.0;
  auto check = [&](double lat, double lon) {
    UtmCoordinate ours;
    ASSERT_EQ(latLonToUtm(lat, lon, &ours), UtmStatus::kOk);
    int zone = 0;
    bool north = false;
    double x = 0.0, y = 0.0;
    GeographicLib::UTMUPS::Forward(lat, lon, zone, north, x, y, ours.zone);
    const double d = std::fmax(std::fabs(x - ours.easting), std::fabs(y - ours.northing));
    ASSERT_LT(d, 0.002) << lat << " " << lon;
    worst = std::fmax(worst, d);
  };
  for (int zone : {1, 17, 31, 32, 45, 60})
    for (double lat = -80.0; lat <= 84.0; lat += 2.0)
      for (double offset = -2.999; offset < 3.0; offset += 0.5) check(lat, 6.0 * zone - 183.0 + offset);
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> latitude(-80.0, 84.0), longitude(-180.0, 179.999999);
  for (int i = 0; i < 20000; ++i) check(latitude(rng), longitude(rng));
  std::printf("largest difference from GeographicLib: %.3f mm\n", worst * 1000.0);
}
#endif
