// Bitmap encoding against a pixel-by-pixel reading of the format, and the sizes it refuses.

#include "capture/bitmap.h"

#include <gtest/gtest.h>

#include <random>

namespace {

uint32_t readU32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace

// Rows arrive bottom row first as red, green, blue; the file stores them in that row order as
// blue, green, red, each row padded with zeros to a multiple of 4 bytes, after a 54-byte header.
TEST(BitmapEncoding, EveryPixelAndPaddingByteOnRandomImages) {
  std::mt19937 rng(42);
  for (int width = 1; width <= 9; ++width) {
    for (int height = 1; height <= 4; ++height) {
      std::vector<uint8_t> rgb(size_t(width) * height * 3);
      for (uint8_t& v : rgb) v = uint8_t(rng());
      const std::vector<uint8_t> f = encodeBitmap(rgb.data(), width, height);
      const size_t rowSize = (size_t(width) * 3 + 3) / 4 * 4;
      ASSERT_EQ(f.size(), 54 + rowSize * height);
      EXPECT_TRUE(f[0] == 'B' && f[1] == 'M' && readU32(f, 2) == f.size() && readU32(f, 10) == 54);
      EXPECT_TRUE(readU32(f, 14) == 40 && readU32(f, 18) == uint32_t(width) && readU32(f, 22) == uint32_t(height));
      EXPECT_TRUE(f[26] == 1 && f[28] == 24 && readU32(f, 30) == 0);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const uint8_t* src = &rgb[(size_t(y) * width + x) * 3];
          const uint8_t* px = &f[54 + rowSize * y + 3 * size_t(x)];
          ASSERT_TRUE(px[0] == src[2] && px[1] == src[1] && px[2] == src[0]) << x << "," << y;
        }
        for (size_t pad = size_t(width) * 3; pad < rowSize; ++pad) ASSERT_EQ(f[54 + rowSize * y + pad], 0);
      }
    }
  }
}

TEST(BitmapEncoding, RefusesSizesTheFormatCannotHold) {
  const uint8_t pixel[3] = {1, 2, 3};
  EXPECT_TRUE(encodeBitmap(pixel, 0, 1).empty());
  EXPECT_TRUE(encodeBitmap(pixel, 1, -1).empty());
  EXPECT_TRUE(encodeBitmap(nullptr, 1, 1).empty());
  EXPECT_TRUE(encodeBitmap(pixel, 50000, 50000).empty());  // beyond the 32-bit size field, refused unread
}
