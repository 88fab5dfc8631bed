#pragma once
// What the point-cloud readers share: the room kept after the file's points for key points,
// the largest point count, finiteness checks, conversions to the geometry vector and line
// numbers for messages. Rejection itself is PointCloud::reject, so every reader resets the
// cloud and words its error line the same way.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "pointcloud/point_cloud.h"
#include "tree/geometry.h"

// Records kept after the file's points for the key points the readers add.
constexpr uint32_t kSpareRecords = 100;
// Largest point count whose indices, key points included, still fit the int32 key indices.
constexpr size_t kMaxPoints = INT32_MAX - kSpareRecords;

inline bool isFinite(const PointRecord& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}
inline bool isFinite(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

inline Vec3 toVec3(const PointRecord& p) {
  return Vec3(p.x, p.y, p.z);
}
inline PointRecord toRecord(const Vec3& v) {
  return PointRecord{v.x, v.y, v.z, 0};
}

// 1-based line number of a byte position in the text, for messages.
size_t lineAt(std::string_view text, size_t position);

constexpr bool kHostBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

// A scalar stored at p in little- or big-endian byte order, at any alignment.
template <typename T>
inline T loadScalar(const char* p, bool bigEndian) {
  T value;
  if (bigEndian == kHostBigEndian) {
    std::memcpy(&value, p, sizeof value);
  } else {
    char swapped[sizeof value];
    for (size_t i = 0; i < sizeof value; ++i) swapped[i] = p[sizeof value - 1 - i];
    std::memcpy(&value, swapped, sizeof value);
  }
  return value;
}
