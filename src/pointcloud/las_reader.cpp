// The LAS reader: versions 1.0 to 1.4, point data formats 0 to 10. Coordinates are the
// records' integers times the header's scale factors, in double precision; the header's
// offsets stay in the scan frame (frame.absolute), so large absolute positions keep every
// digit and the model can be written back in the file's coordinates. Z is up unless the
// load options say otherwise. Colours come from the formats that carry RGB. Every count the
// header declares is checked against the bytes of the file before anything is allocated.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "pointcloud/point_cloud.h"
#include "pointcloud/reader_support.h"

namespace {

// Bytes of the public header block of LAS 1.0-1.2, and of 1.4 (with the 64-bit counts).
constexpr size_t kHeaderSize12 = 227;
constexpr size_t kHeaderSize14 = 375;
// Smallest record of each point data format, and where its red, green, blue start (0: none).
constexpr size_t kRecordSize[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
constexpr size_t kRgbOffset[11] = {0, 0, 20, 28, 0, 28, 0, 30, 30, 0, 30};

template <typename T>
T field(std::string_view bytes, size_t offset) {
  return loadScalar<T>(bytes.data() + offset, false);
}

}  // namespace

bool PointCloud::readLas(const std::string& path, const LoadOptions& options) {
  FileBytes bytes;
  return readCloudFile(path, &bytes) && parseLas(path, bytes.view(), options);
}

bool PointCloud::parseLas(const std::string& path, std::string_view bytes, const LoadOptions& options) {
  reset();
  if (bytes.size() < kHeaderSize12) {
    return reject(path, "the file holds " + std::to_string(bytes.size()) + " bytes, too few for a LAS header");
  }
  if (bytes.substr(0, 4) != "LASF") return reject(path, "the file does not begin with the LAS signature \"LASF\"");
  const int major = static_cast<uint8_t>(bytes[24]);
  const int minor = static_cast<uint8_t>(bytes[25]);
  const std::string version = std::to_string(major) + "." + std::to_string(minor);
  if (major != 1 || minor > 4) return reject(path, "LAS version " + version + " is not read (1.0 to 1.4 are)");
  const size_t headerSize = field<uint16_t>(bytes, 94);
  const size_t pointOffset = field<uint32_t>(bytes, 96);
  const int formatByte = static_cast<uint8_t>(bytes[104]);
  const size_t recordSize = field<uint16_t>(bytes, 105);
  const size_t smallestHeader = minor >= 4 ? kHeaderSize14 : kHeaderSize12;
  if (headerSize < smallestHeader || headerSize > bytes.size()) {
    return reject(path, "the LAS " + version + " header size is " + std::to_string(headerSize) + " bytes; it must be " +
                            std::to_string(smallestHeader) + " or more and fit the file's " +
                            std::to_string(bytes.size()) + " bytes");
  }
  if (formatByte & 0xC0) {
    return reject(path,
                  "the points are compressed (LAZ), which is not read; decompress the file to LAS first (for example "
                  "\"laszip -i in.laz -o out.las\" or \"pdal translate in.laz out.las\")");
  }
  if (formatByte > 10) {
    return reject(path, "point data format " + std::to_string(formatByte) + " is not one of the formats 0 to 10");
  }
  if (recordSize < kRecordSize[formatByte]) {
    return reject(path, "point records of " + std::to_string(recordSize) + " bytes are too short for point format " +
                            std::to_string(formatByte) + ", which needs " + std::to_string(kRecordSize[formatByte]));
  }
  if (pointOffset < headerSize || pointOffset > bytes.size()) {
    return reject(path, "the point data are said to start at byte " + std::to_string(pointOffset) +
                            ", outside the file's " + std::to_string(bytes.size()) + " bytes after the header");
  }
  // LAS 1.4 keeps a 64-bit count; older writers of 1.4 files may fill only the legacy one.
  uint64_t declared = field<uint32_t>(bytes, 107);
  if (minor >= 4 && field<uint64_t>(bytes, 247) != 0) declared = field<uint64_t>(bytes, 247);
  const double scaleOf[3] = {field<double>(bytes, 131), field<double>(bytes, 139), field<double>(bytes, 147)};
  const double offsetOf[3] = {field<double>(bytes, 155), field<double>(bytes, 163), field<double>(bytes, 171)};
  for (int a = 0; a < 3; ++a) {
    if (!std::isfinite(scaleOf[a]) || scaleOf[a] == 0.0 || !std::isfinite(offsetOf[a])) {
      return reject(path, std::string("the header's ") + "XYZ"[a] + " scale factor or offset is zero or not finite");
    }
  }

  std::printf("Number of points (%s): %llu\n", path.c_str(), static_cast<unsigned long long>(declared));
  const size_t available = bytes.size() - pointOffset;
  if (declared > available / recordSize) {
    return reject(path, "the header declares " + std::to_string(declared) + " points of " + std::to_string(recordSize) +
                            " bytes, more than the " + std::to_string(available) +
                            " bytes after the header hold: the file is truncated or its header is wrong");
  }
  if (!acceptPointCount(path, declared)) return false;

  const uint32_t n = static_cast<uint32_t>(declared);
  const bool zUp = options.up != UpAxis::Y;
  const size_t rgb = kRgbOffset[formatByte];
  if (!allocateRecords(*this, path, n, rgb != 0)) return false;
  const char* record = bytes.data() + pointOffset;
  uint16_t brightest = 0;
  for (uint32_t i = 0; i < n; ++i, record += recordSize) {
    const double x = loadScalar<int32_t>(record, false) * scaleOf[0];
    const double y = loadScalar<int32_t>(record + 4, false) * scaleOf[1];
    const double z = loadScalar<int32_t>(record + 8, false) * scaleOf[2];
    points[i] = zUp ? PointRecord{x, z, y, 0} : PointRecord{x, y, z, 0};
    if (rgb != 0) {
      const uint16_t r = loadScalar<uint16_t>(record + rgb, false);
      const uint16_t g = loadScalar<uint16_t>(record + rgb + 2, false);
      const uint16_t b = loadScalar<uint16_t>(record + rgb + 4, false);
      brightest = std::max({brightest, r, g, b});
      colours[i] = PointRecord{double(r), double(g), double(b), 0};
    }
  }
  if (rgb != 0) {
    // The format asks for 16-bit channels, but many writers store 8-bit values.
    const double full = brightest > 255 ? 65535.0 : 255.0;
    for (uint32_t i = 0; i < n; ++i) {
      colours[i].x /= full;
      colours[i].y /= full;
      colours[i].z /= full;
    }
  }

  count = fileCount = n;
  frame = zUp ? ScanFrame::zUp() : ScanFrame();
  frame.absolute = Vec3(offsetOf[0], offsetOf[1], offsetOf[2]);
  computeBounds();
  if (!isFinite(minCorner) || !isFinite(maxCorner)) {
    return reject(path, "the coordinates are not finite once scaled");
  }
  return finishOnGround(path, minCorner.y);
}
