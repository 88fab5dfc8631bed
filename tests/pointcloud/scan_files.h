#pragma once
// Writers of LAS and binary PLY files for the reader tests, built from the published layouts
// field by field (not from the reader's tables), and the check that a loaded cloud maps back
// to the file's coordinates.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "pointcloud/point_cloud.h"

using Triple = std::array<double, 3>;

// The bytes of value in little- or big-endian order.
template <typename T>
std::string bytesOf(T value, bool bigEndian = false) {
  std::string b(sizeof value, '\0');
  std::memcpy(b.data(), &value, sizeof value);
  if (bigEndian) std::reverse(b.begin(), b.end());
  return b;
}

// ---- LAS ----

// Bytes of a point record of each format, as the published LAS 1.4 format lists its fields:
// X Y Z (12), then for formats 0-5 intensity (2), return bits (1), classification (1), scan
// angle rank (1), user data (1), point source (2); for 6-10 intensity (2), return bits (2),
// classification (1), user data (1), scan angle (2), point source (2), GPS time (8). Formats
// 1, 3, 4, 5 add GPS time (8); RGB adds 6, NIR 2, wave packets 29.
struct LasRecordLayout {
  size_t size = 0, rgb = 0;  // rgb: the offset of red, 0 when the format has no colour
};
inline LasRecordLayout lasRecordLayout(int format) {
  auto in = [format](std::initializer_list<int> formats) { return std::count(formats.begin(), formats.end(), format); };
  LasRecordLayout layout;
  layout.size = 12 + (format <= 5 ? 2 + 1 + 1 + 1 + 1 + 2 : 2 + 2 + 1 + 1 + 2 + 2 + 8) + 8 * in({1, 3, 4, 5});
  if (in({2, 3, 5, 7, 8, 10})) layout.rgb = layout.size, layout.size += 6;
  layout.size += 2 * in({8, 10}) + 29 * in({4, 5, 9, 10});
  return layout;
}

struct LasFile {
  int minor = 2, format = 0;
  size_t extraBytes = 0;  // per record, after the format's fields
  Triple scale = {0.001, 0.001, 0.001}, offset = {0, 0, 0};
  std::vector<std::array<int32_t, 3>> xyz;
  std::vector<std::array<uint16_t, 3>> rgb;  // used by the formats with colour
  long declaredPoints = -1;                  // -1: xyz.size()
};

// The file's bytes: public header block (227 bytes for 1.0-1.2, 235 for 1.3, 375 for 1.4), one
// variable-length record of 10 bytes of payload, the 1.0 start signature, then the records.
inline std::string lasBytes(const LasFile& f) {
  const size_t headerSize = f.minor >= 4 ? 375 : f.minor == 3 ? 235 : 227;
  const size_t pointOffset = headerSize + 54 + 10 + (f.minor == 0 ? 2 : 0);
  const LasRecordLayout layout = lasRecordLayout(f.format);
  const size_t recordSize = layout.size + f.extraBytes;
  const uint64_t n = f.declaredPoints >= 0 ? static_cast<uint64_t>(f.declaredPoints) : f.xyz.size();
  // Signature, file source id, global encoding, project GUID, version, system, software, day, year,
  // header size, point offset, variable-length records, point format, record size, legacy count
  // and counts by return, scale and offset, max / min x, y, z, (1.3) start of waveform data,
  // (1.4) start and count of the extended records, point count, counts by return.
  std::string out = "LASF" + std::string(4 + 16, '\0') + char(1) + char(f.minor) + std::string(32, 'S') +
                    std::string(32, 'G') + bytesOf<uint16_t>(1) + bytesOf<uint16_t>(2024) +
                    bytesOf<uint16_t>(headerSize) + bytesOf<uint32_t>(pointOffset) + bytesOf<uint32_t>(1) +
                    char(f.format) + bytesOf<uint16_t>(recordSize) + bytesOf<uint32_t>(f.format >= 6 ? 0 : n) +
                    std::string(5 * 4, '\0');
  for (double v : {f.scale[0], f.scale[1], f.scale[2], f.offset[0], f.offset[1], f.offset[2]}) out += bytesOf(v);
  out.append(6 * 8 + (f.minor >= 3 ? 8 : 0), '\0');
  if (f.minor >= 4) out += std::string(8 + 4, '\0') + bytesOf<uint64_t>(n) + std::string(15 * 8, '\0');
  EXPECT_EQ(out.size(), headerSize);
  // Record: reserved, user id, record id 7, length 10, description, payload; the 1.0 signature.
  out += std::string(2, '\0') + std::string(16, 'U') + bytesOf<uint16_t>(7) + bytesOf<uint16_t>(10) +
         std::string(32, 'D') + std::string(10, 'V') + (f.minor == 0 ? bytesOf<uint16_t>(0xCCDD) : "");
  for (size_t i = 0; i < f.xyz.size(); ++i) {
    std::string record = bytesOf(f.xyz[i]);
    record.resize(recordSize, '\x5a');  // other fields: filler that must not matter
    if (layout.rgb != 0) record.replace(layout.rgb, 6, bytesOf(f.rgb[i]));
    out += record;
  }
  return out;
}

// ---- Binary PLY ----

// One property value of a binary PLY vertex in the named type.
inline std::string plyValue(const std::string& type, double v, bool big) {
  if (type == "char") return bytesOf(static_cast<int8_t>(v), big);
  if (type == "uchar") return bytesOf(static_cast<uint8_t>(v), big);
  if (type == "short") return bytesOf(static_cast<int16_t>(v), big);
  if (type == "ushort") return bytesOf(static_cast<uint16_t>(v), big);
  if (type == "int") return bytesOf(static_cast<int32_t>(v), big);
  if (type == "uint") return bytesOf(static_cast<uint32_t>(v), big);
  if (type == "float") return bytesOf(static_cast<float>(v), big);
  EXPECT_EQ(type, "double");
  return bytesOf(v, big);
}

// Whole numbers that every type holds, so the file keeps them exactly; a tall cloud (the key
// points need height) from -120 (0 unsigned) to 120.
inline std::vector<Triple> smallPoints(unsigned seed, size_t n, bool unsignedOnly) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> v(unsignedOnly ? 0 : -120, 120);
  std::vector<Triple> points(n);
  for (Triple& p : points) p = {double(v(rng)), double(v(rng)), double(v(rng))};
  points[0][2] = unsignedOnly ? 0 : -120, points[1][2] = 120;
  return points;
}

// A binary PLY: a face element of two triangles before the vertices, each vertex holding a
// float "nx" and a list before x, y, z of the given type (in the order z, x, y), then a uchar
// flag; colours as uchar red, green, blue when asked.
inline std::string binaryPly(const std::vector<Triple>& points, const std::string& type, bool big, bool colours) {
  std::ostringstream header;
  header << "ply\nformat " << (big ? "binary_big_endian" : "binary_little_endian") << " 1.0\ncomment test\n"
         << "element face 2\nproperty list uchar int vertex_indices\n"
         << "element vertex " << points.size() << "\nproperty float nx\nproperty list uchar short extra\n"
         << "property " << type << " z\nproperty " << type << " x\nproperty " << type << " y\nproperty uchar flag\n"
         << (colours ? "property uchar red\nproperty uchar green\nproperty uchar blue\n" : "") << "end_header\n";
  std::string out = header.str();
  for (int32_t face = 0; face < 2; ++face)
    out += '\x03' + bytesOf(face, big) + bytesOf(face + 1, big) + bytesOf(face + 2, big);
  for (size_t i = 0; i < points.size(); ++i) {
    out += bytesOf(0.5f, big) + char(i % 3);  // lists of 0, 1 or 2 shorts
    for (size_t k = 0; k < i % 3; ++k) out += bytesOf<int16_t>(-7, big);
    for (int axis : {2, 0, 1}) out += plyValue(type, points[i][axis], big);
    out += colours ? std::string{'\x01', char(i % 256), char(255), char(0)} : "\x01";
  }
  return out;
}

// ---- Checks ----

// The first three numbers of each line of a text file.
inline std::vector<Triple> readTriples(const std::string& path) {
  std::vector<Triple> out;
  std::ifstream in(path);
  for (Triple p; in >> p[0] >> p[1] >> p[2];) out.push_back(p);
  return out;
}

// Every file point of the cloud, taken back by the scan frame, lies within tolerance of the
// file's coordinates, and the frame takes the file's coordinates to the point (tolerance in
// file units, so scaled by the frame's scale in the model).
inline void expectScanCoordinates(const PointCloud& cloud, const std::vector<Triple>& file, double tolerance,
                                  const std::string& what) {
  ASSERT_TRUE(cloud.loaded && cloud.fileCount == file.size()) << what << ": " << cloud.fileCount << " points";
  double worst = 0.0, worstIndex = 0;
  for (size_t i = 0; i < file.size(); ++i) {
    const Vec3 p(cloud.points[i].x, cloud.points[i].y, cloud.points[i].z), f(file[i][0], file[i][1], file[i][2]);
    const Vec3 s = cloud.frame.toScan(p) - f, m = (cloud.frame.toModel(f) - p) / cloud.frame.scale;
    const double d =
        std::max({std::fabs(s.x), std::fabs(s.y), std::fabs(s.z), std::fabs(m.x), std::fabs(m.y), std::fabs(m.z)});
    if (!(d <= worst)) worst = d, worstIndex = i;
  }
  EXPECT_LE(worst, tolerance) << what << ": point " << worstIndex;
}
