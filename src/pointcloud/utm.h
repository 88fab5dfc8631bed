#pragma once
// Projection of WGS84 latitude and longitude to Universal Transverse Mercator metres by
// the classic transverse Mercator series. Every point is projected in its own 6-degree
// zone, so eastings from neighbouring zones are not comparable.

enum class UtmStatus { kOk, kLatitudeOutOfRange, kLongitudeOutOfRange };

struct UtmCoordinate {
  double easting = 0.0;   // metres, 500000 on the central meridian
  double northing = 0.0;  // metres from the equator; 10000000 added south of it
  int zone = 0;           // floor((lon + 180) / 6) + 1
};

// Projects (latitude, longitude) in degrees. Latitude must lie in [-90, 90] and longitude
// in [-180, 180] (NaN is out of range); otherwise *out is left untouched and the status
// names the first coordinate found out of range, latitude first. Prints nothing.
UtmStatus latLonToUtm(double latitude, double longitude, UtmCoordinate* out);

// The console line for a failed status ("Latitude must be between -90 and 90\n", ...);
// an empty string for kOk.
const char* utmStatusMessage(UtmStatus status);
