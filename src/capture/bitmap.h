#pragma once
// Encoding of captured frames as 24-bit uncompressed bitmaps, and the names of the
// numbered capture files. Pure functions: no GL, no files.

#include <cstdint>
#include <string>
#include <vector>

constexpr int kBitmapHeaderSize = 54;  // 14-byte file header + 40-byte information header

// Bytes per stored row: 3 * width rounded up to a multiple of 4.
uint32_t bitmapRowSize(int width);

// The complete bitmap file for width x height pixels given as RGB bytes, bottom row first,
// 3 bytes per pixel and no row padding (glReadPixels with GL_PACK_ALIGNMENT 1). Pixels are
// stored as blue, green, red, each row padded with zero bytes. Returns an empty buffer when
// the size is not positive or the file would not fit the format's 32-bit size field.
std::vector<uint8_t> encodeBitmap(const uint8_t* rgb, int width, int height);

// Capture file of frame n in folder (which ends with '/'): snap000.bmp ... snap999.bmp,
// then snap1000.bmp and up.
std::string snapshotFileName(const std::string& folder, int frame);
