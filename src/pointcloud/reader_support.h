#pragma once
// What the point-cloud readers share: the room kept after the file's points for key points,
// the largest point count, finiteness checks, conversions to the geometry vector and line
// numbers for messages. Rejection itself is PointCloud::reject, so every reader resets the
// cloud and words its error line the same way.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

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

// A file's content. A regular file is mapped read-only with its pages brought in at once,
// which saves clearing and copying a buffer of the file's size; anything else (a pipe) is
// read into memory.
class FileBytes {
 public:
  FileBytes() = default;
  ~FileBytes() { release(); }
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  // False when the file cannot be opened or read, or is a folder.
  bool open(const std::string& path);
  std::string_view view() const {
    return map_ ? std::string_view(static_cast<const char*>(map_), size_) : std::string_view(copy_);
  }

 private:
  void release();
  void* map_ = nullptr;
  size_t size_ = 0;
  std::string copy_;
};

// Sizes cloud.points (and cloud.colours when asked) to n file points and the spare records,
// zeroed. Large arrays get huge pages, cleared by two threads: a cloud of ten million points
// takes 320 MB, and having the kernel clear it page by page costs more than reading the file.
// False, with the cloud rejected, when there is not enough memory.
bool allocateRecords(PointCloud& cloud, const std::string& path, size_t n, bool withColours);

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
