#include "capture/bitmap.h"

#include <gtest/gtest.h>

#include <random>

namespace {

uint32_t readU32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t readU16(const std::vector<uint8_t>& b, size_t at) {
  return uint16_t(b[at] | b[at + 1] << 8);
}

}  // namespace

TEST(BitmapEncoding, WindowSizedFramesHaveTheDocumentedSizes) {
  std::vector<uint8_t> rgb(1600u * 900u * 3u, 7);
  EXPECT_EQ(encodeBitmap(rgb.data(), 1600, 900).size(), 4320054u);

  EXPECT_EQ(bitmapRowSize(1366), 4100u);
  std::vector<uint8_t> wide(1366u * 2u * 3u, 0xAB);
  const std::vector<uint8_t> file = encodeBitmap(wide.data(), 1366, 2);
  ASSERT_EQ(file.size(), 54u + 2u * 4100u);
  // 4098 data bytes, then 2 zero padding bytes per row.
  EXPECT_EQ(std::vector<uint8_t>(file.begin() + 54 + 4097, file.begin() + 54 + 4101),
            (std::vector<uint8_t>{0xAB, 0, 0, 0xAB}));
}

TEST(BitmapEncoding, HeaderFieldsAndTheFirstStoredPixel) {
  // Rows arrive bottom row first; the bottom-left pixel is red 10, green 20, blue 30.
  std::vector<uint8_t> rgb(5u * 3u * 3u, 1);
  rgb[0] = 10;
  rgb[1] = 20;
  rgb[2] = 30;
  const std::vector<uint8_t> f = encodeBitmap(rgb.data(), 5, 3);
  ASSERT_EQ(f.size(), 54u + 16u * 3u);
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(f[1], 'M');
  const uint32_t fields[] = {readU32(f, 2),  readU16(f, 6),  readU16(f, 8),  readU32(f, 10), readU32(f, 14),
                             readU32(f, 18), readU32(f, 22), readU16(f, 26), readU16(f, 28)};
  EXPECT_EQ(std::vector<uint32_t>(std::begin(fields), std::end(fields)),
            (std::vector<uint32_t>{uint32_t(f.size()), 0, 0, 54, 40, 5, 3, 1, 24}));
  for (size_t at = 30; at < 54; at += 4) EXPECT_EQ(readU32(f, at), 0u) << "offset " << at;
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 54, f.begin() + 57), (std::vector<uint8_t>{30, 20, 10}));
}

TEST(BitmapEncoding, EveryPixelMatchesAPixelByPixelReadingOnRandomImages) {
  std::mt19937 rng(42);
  for (int width = 1; width <= 9; ++width) {
    for (int height = 1; height <= 4; ++height) {
      std::vector<uint8_t> rgb(size_t(width) * height * 3);
      for (uint8_t& v : rgb) v = uint8_t(rng() & 0xFF);
      const std::vector<uint8_t> f = encodeBitmap(rgb.data(), width, height);
      const size_t rowSize = (size_t(width) * 3 + 3) / 4 * 4;
      ASSERT_EQ(f.size(), 54 + rowSize * height);
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const uint8_t* src = &rgb[(size_t(y) * width + x) * 3];
          const uint8_t* px = &f[54 + rowSize * y + 3 * size_t(x)];
          ASSERT_EQ(px[0], src[2]);
          ASSERT_EQ(px[1], src[1]);
          ASSERT_EQ(px[2], src[0]);
        }
        for (size_t pad = size_t(width) * 3; pad < rowSize; ++pad) ASSERT_EQ(f[54 + rowSize * y + pad], 0);
      }
    }
  }
}

TEST(BitmapEncoding, RejectsSizesTheFormatCannotHold) {
  uint8_t pixel[3] = {1, 2, 3};
  EXPECT_TRUE(encodeBitmap(pixel, 0, 1).empty());
  EXPECT_TRUE(encodeBitmap(pixel, 1, -1).empty());
  EXPECT_TRUE(encodeBitmap(nullptr, 1, 1).empty());
  // 50000 x 50000 pixels would need more than 4 GiB: refused before anything is read.
  EXPECT_TRUE(encodeBitmap(pixel, 50000, 50000).empty());
}

TEST(CaptureFileNames, FollowTheThreeNumberFormats) {
  const std::pair<int, const char*> names[] = {{0, "snap000.bmp"},     {9, "snap009.bmp"},    {10, "snap010.bmp"},
                                               {99, "snap099.bmp"},    {100, "snap100.bmp"},  {999, "snap999.bmp"},
                                               {1000, "snap1000.bmp"}, {1799, "snap1799.bmp"}};
  for (const auto& [frame, name] : names)
    EXPECT_EQ(snapshotFileName("./images/", frame), std::string("./images/") + name);
}
