#pragma once
// The way back from the program's model coordinates (Y up, centred on X and Z, floor at
// Y = 0, possibly scaled) to the coordinates of the file the cloud was read from, so a
// model can be written in the scan's own axes, units and absolute position.
//
// A reader takes a file coordinate triple f (in the file's units after any scale the
// format itself applies, such as the LAS scale factors) to the model by
//   r[i] = sign[i] * (f[axis[i]] - absolute[axis[i]])   (model axes, as read)
//   m    = (r - shift) * scale                          (normalise: centre, lift, scale)
// toScan inverts both steps in double precision.

#include "tree/geometry.h"

struct ScanFrame {
  // Model axis i (x, y up, z) holds sign[i] times the file's coordinate axis[i].
  int axis[3] = {0, 1, 2};
  double sign[3] = {1.0, 1.0, 1.0};
  // Subtracted from the file's coordinates before anything else (file axes and units): the
  // LAS header offsets, so that large absolute positions such as UTM or elevation keep
  // every digit; zero for the other formats, whose coordinates are read whole.
  Vec3 absolute;
  // Removed by normalise (model axes, before scaling): the box centre on X and Z and the
  // floor on Y.
  Vec3 shift;
  // Multiplies model lengths after the shift (16 units high for the program's own PLY layouts); 1.0 for
  // clouds in metres.
  double scale = 1.0;

  // The mapping of a Z-up file: model (x, y, z) = file (x, z, y).
  static ScanFrame zUp() {
    ScanFrame f;
    f.axis[1] = 2;
    f.axis[2] = 1;
    return f;
  }

  // A file coordinate triple to model axes as read (before normalise).
  Vec3 toRead(const Vec3& file) const;
  // A file coordinate triple to model coordinates (as the readers place the file's points,
  // up to rounding).
  Vec3 toModel(const Vec3& file) const { return (toRead(file) - shift) * scale; }
  // Model coordinates back to the file's own coordinates, axes and units.
  Vec3 toScan(const Vec3& model) const;
  // A length in model units (a radius, a distance) in the file's units.
  double lengthToScan(double modelLength) const { return modelLength / scale; }
};
