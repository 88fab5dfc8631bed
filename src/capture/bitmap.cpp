#include "capture/bitmap.h"

#include <cstdio>

namespace {

void putU16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = static_cast<uint8_t>(v & 0xFF);
  out[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

void putU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  putU16(out, at, v & 0xFFFF);
  putU16(out, at + 2, v >> 16);
}

void writeHeaders(std::vector<uint8_t>& out, int width, int height, uint32_t fileSize) {
  out[0] = 'B';
  out[1] = 'M';
  putU32(out, 2, fileSize);
  putU32(out, 10, kBitmapHeaderSize);  // offset of the pixel data
  putU32(out, 14, 40);                 // information header size
  putU32(out, 18, static_cast<uint32_t>(width));
  putU32(out, 22, static_cast<uint32_t>(height));  // positive: bottom row first
  putU16(out, 26, 1);                              // planes
  putU16(out, 28, 24);                             // bits per pixel
  // Compression, image size, resolutions and colour counts stay 0.
}

}  // namespace

uint32_t bitmapRowSize(int width) {
  return (static_cast<uint32_t>(width) * 3u + 3u) & ~3u;
}

std::vector<uint8_t> encodeBitmap(const uint8_t* rgb, int width, int height) {
  if (rgb == nullptr || width <= 0 || height <= 0) return {};
  const uint64_t rowSize = (static_cast<uint64_t>(width) * 3u + 3u) & ~uint64_t{3};
  const uint64_t fileSize = kBitmapHeaderSize + rowSize * static_cast<uint64_t>(height);
  if (fileSize > UINT32_MAX) return {};
  std::vector<uint8_t> out(static_cast<size_t>(fileSize), 0);
  writeHeaders(out, width, height, static_cast<uint32_t>(fileSize));
  const size_t srcRow = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = rgb + srcRow * static_cast<size_t>(y);
    uint8_t* dst = out.data() + kBitmapHeaderSize + rowSize * static_cast<uint64_t>(y);
    for (int x = 0; x < width; ++x) {
      dst[3 * x] = src[3 * x + 2];
      dst[3 * x + 1] = src[3 * x + 1];
      dst[3 * x + 2] = src[3 * x];
    }
  }
  return out;
}

std::string snapshotFileName(const std::string& folder, int frame) {
  const char* format = frame < 10 ? "snap00%d.bmp" : frame < 100 ? "snap0%d.bmp" : "snap%d.bmp";
  char name[32];
  std::snprintf(name, sizeof name, format, frame);
  return folder + name;
}
