#pragma once
// Writers of LAS and binary PLY files for the reader tests, built from the published layouts
// field by field (not from the reader's tables), and the check that a loaded cloud maps back
// to the file's coordinates.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "pointcloud/point_cloud.h"

using Triple = std::array<double, 3>;

// Appends value in little- or big-endian byte order.
template <typename T>
void putBytes(std::string& out, T value, bool bigEndian = false) {
  char b[sizeof value];
  std::memcpy(b, &value, sizeof value);
  if (bigEndian) {
    for (size_t i = 0; i < sizeof value / 2; ++i) std::swap(b[i], b[sizeof value - 1 - i]);
  }
  out.append(b, sizeof value);
}

// ---- LAS ----

// Bytes of a point record of each format, as the published LAS 1.4 format lists its fields:
// X Y Z (12), then for formats 0-5 intensity (2), return bits (1), classification (1), scan
// angle rank (1), user data (1), point source (2); for 6-10 intensity (2), return bits (2),
// classification (1), user data (1), scan angle (2), point source (2), GPS time (8). Formats
// 1, 3, 4, 5 add GPS time (8); RGB adds 6, NIR 2, wave packets 29.
struct LasRecordLayout {
  size_t size = 0;
  size_t rgb = 0;  // offset of red, 0 when the format has no colour
};
inline LasRecordLayout lasRecordLayout(int format) {
  const bool legacy = format <= 5;
  size_t size = 12 + (legacy ? 2 + 1 + 1 + 1 + 1 + 2 : 2 + 2 + 1 + 1 + 2 + 2 + 8);
  if (format == 1 || format == 3 || format == 4 || format == 5) size += 8;
  LasRecordLayout layout;
  if (format == 2 || format == 3 || format == 5 || format == 7 || format == 8 || format == 10) {
    layout.rgb = size;
    size += 6;
  }
  if (format == 8 || format == 10) size += 2;
  if (format == 4 || format == 5 || format == 9 || format == 10) size += 29;
  layout.size = size;
  return layout;
}

struct LasFile {
  int minor = 2;
  int format = 0;
  size_t extraBytes = 0;  // per record, after the format's fields
  Triple scale = {0.001, 0.001, 0.001};
  Triple offset = {0, 0, 0};
  std::vector<std::array<int32_t, 3>> xyz;
  std::vector<std::array<uint16_t, 3>> rgb;  // used by the formats with colour
  long declaredPoints = -1;                  // -1: xyz.size()
};

// The file's bytes: public header block (227 bytes for 1.0-1.2, 235 for 1.3, 375 for 1.4), one
// variable-length record of 10 bytes of payload, the 1.0 start signature, then the records.
inline std::string lasBytes(const LasFile& f) {
  const size_t headerSize = f.minor >= 4 ? 375 : f.minor == 3 ? 235 : 227;
  const size_t vlrSize = 54 + 10;
  const size_t pointOffset = headerSize + vlrSize + (f.minor == 0 ? 2 : 0);
  const LasRecordLayout layout = lasRecordLayout(f.format);
  const size_t recordSize = layout.size + f.extraBytes;
  const uint64_t n = f.declaredPoints >= 0 ? static_cast<uint64_t>(f.declaredPoints) : f.xyz.size();
  std::string out = "LASF";
  putBytes<uint16_t>(out, 0);         // file source id
  putBytes<uint16_t>(out, 0);         // global encoding
  out.append(16, '\0');               // project GUID
  out += static_cast<char>(1);        // version major
  out += static_cast<char>(f.minor);  // version minor
  out.append(32, 'S');                // system identifier
  out.append(32, 'G');                // generating software
  putBytes<uint16_t>(out, 1);         // day
  putBytes<uint16_t>(out, 2024);      // year
  putBytes<uint16_t>(out, static_cast<uint16_t>(headerSize));
  putBytes<uint32_t>(out, static_cast<uint32_t>(pointOffset));
  putBytes<uint32_t>(out, 1);  // variable-length records
  out += static_cast<char>(f.format);
  putBytes<uint16_t>(out, static_cast<uint16_t>(recordSize));
  putBytes<uint32_t>(out, f.format >= 6 ? 0 : static_cast<uint32_t>(n));  // legacy count
  out.append(5 * 4, '\0');                                                // legacy counts by return
  for (double s : f.scale) putBytes(out, s);
  for (double o : f.offset) putBytes(out, o);
  for (int a = 0; a < 6; ++a) putBytes(out, 0.0);  // max / min x, y, z
  if (f.minor >= 3) putBytes<uint64_t>(out, 0);    // start of waveform data
  if (f.minor >= 4) {
    putBytes<uint64_t>(out, 0);  // start of the first extended record
    putBytes<uint32_t>(out, 0);  // extended records
    putBytes<uint64_t>(out, n);  // point count
    out.append(15 * 8, '\0');    // counts by return
  }
  EXPECT_EQ(out.size(), headerSize);
  putBytes<uint16_t>(out, 0);  // record: reserved, user id, record id, length, description
  out.append(16, 'U');
  putBytes<uint16_t>(out, 7);
  putBytes<uint16_t>(out, 10);
  out.append(32, 'D');
  out.append(10, 'V');
  if (f.minor == 0) putBytes<uint16_t>(out, 0xCCDD);
  for (size_t i = 0; i < f.xyz.size(); ++i) {
    std::string record(recordSize, '\x5a');  // other fields: filler that must not matter
    std::string coordinates;
    for (int32_t v : f.xyz[i]) putBytes(coordinates, v);
    record.replace(0, 12, coordinates);
    if (layout.rgb != 0) {
      std::string colour;
      for (uint16_t v : f.rgb[i]) putBytes(colour, v);
      record.replace(layout.rgb, 6, colour);
    }
    out += record;
  }
  return out;
}

// ---- Binary PLY ----

// One property of a binary PLY vertex: its type name, and a writer of its value in that type.
inline void putPlyValue(std::string& out, const std::string& type, double v, bool big) {
  if (type == "char")
    putBytes(out, static_cast<int8_t>(v), big);
  else if (type == "uchar")
    putBytes(out, static_cast<uint8_t>(v), big);
  else if (type == "short")
    putBytes(out, static_cast<int16_t>(v), big);
  else if (type == "ushort")
    putBytes(out, static_cast<uint16_t>(v), big);
  else if (type == "int")
    putBytes(out, static_cast<int32_t>(v), big);
  else if (type == "uint")
    putBytes(out, static_cast<uint32_t>(v), big);
  else if (type == "float")
    putBytes(out, static_cast<float>(v), big);
  else if (type == "double")
    putBytes(out, v, big);
  else
    ADD_FAILURE() << "unknown type " << type;
}

// ---- Checks ----

// Every file point of the cloud, taken back by the scan frame, lies within tolerance of the
// file's coordinates, and the frame takes the file's coordinates to the point (tolerance in
// file units, so scaled by the frame's scale in the model).
inline void expectScanCoordinates(const PointCloud& cloud, const std::vector<Triple>& file, double tolerance,
                                  const std::string& what) {
  ASSERT_TRUE(cloud.loaded) << what;
  ASSERT_EQ(cloud.fileCount, file.size()) << what;
  double worst = 0.0;
  size_t worstIndex = 0;
  for (size_t i = 0; i < file.size(); ++i) {
    const PointRecord& p = cloud.points[i];
    const Vec3 s = cloud.frame.toScan(Vec3(p.x, p.y, p.z));
    const double d = std::max({std::fabs(s.x - file[i][0]), std::fabs(s.y - file[i][1]), std::fabs(s.z - file[i][2])});
    const Vec3 m = cloud.frame.toModel(Vec3(file[i][0], file[i][1], file[i][2]));
    const double back =
        std::max({std::fabs(m.x - p.x), std::fabs(m.y - p.y), std::fabs(m.z - p.z)}) / cloud.frame.scale;
    if (!(std::max(d, back) <= worst)) worst = std::max(d, back), worstIndex = i;
  }
  EXPECT_LE(worst, tolerance) << what << ": point " << worstIndex;
}
