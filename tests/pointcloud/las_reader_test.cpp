// The LAS reader on files written to the published layout in the test: every version and point
// format, coordinates back through the scan frame, colours, the up axis, and malformed files;
// then the shared real scan against its text original.

#include <filesystem>
#include <fstream>
#include <random>

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/scan_files.h"

namespace {

// Random records of a tree near a UTM position: integers at the file's scale.
LasFile randomLas(unsigned seed, int minor, int format, size_t n) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int32_t> across(-2000, 2000), height(0, 12000);
  std::uniform_int_distribution<int> channel(0, 65535);
  LasFile f;
  f.minor = minor;
  f.format = format;
  f.extraBytes = seed % 3 == 0 ? 5 : 0;
  f.scale = {0.001, 0.001, 0.00025};
  f.offset = {487123.25, 5412345.5, 131.75};
  for (size_t i = 0; i < n; ++i) {
    f.xyz.push_back({across(rng), across(rng), height(rng)});
    f.rgb.push_back({uint16_t(channel(rng)), uint16_t(channel(rng)), uint16_t(channel(rng))});
  }
  return f;
}

std::vector<Triple> fileCoordinates(const LasFile& f) {
  std::vector<Triple> out;
  for (const auto& p : f.xyz) {
    out.push_back({p[0] * f.scale[0] + f.offset[0], p[1] * f.scale[1] + f.offset[1], p[2] * f.scale[2] + f.offset[2]});
  }
  return out;
}

using LasReaderTest = CloudFileTest;

TEST_F(LasReaderTest, EveryVersionAndPointFormatGivesTheFileCoordinatesBack) {
  for (int format = 0; format <= 10; ++format) {
    const int minor = format >= 6 ? 4 : format % 5;
    const LasFile f = randomLas(100 + format, minor, format, 200);
    const std::string name = "f" + std::to_string(format) + ".las";
    const std::string what = "format " + std::to_string(format) + ", LAS 1." + std::to_string(minor);
    const std::string path = dir.write(name, lasBytes(f));
    EXPECT_EQ(load(path), "Number of points (" + path + "): 200\n") << what;
    const std::vector<Triple> file = fileCoordinates(f);
    expectScanCoordinates(cloud, file, 1e-6, what);
    // Z up, metric: the model's height is the file's z above its lowest point, nothing scaled.
    double lowest = 1e300;
    for (const Triple& p : file) lowest = std::min(lowest, p[2]);
    EXPECT_EQ(cloud.scale, 1.0);
    EXPECT_NEAR(cloud.points[7].y, file[7][2] - lowest, 1e-6) << what;
    EXPECT_EQ(cloud.rootIndex, 200) << what;  // the text format's root point
    const LasRecordLayout layout = lasRecordLayout(format);
    ASSERT_EQ(cloud.colours.size(), layout.rgb ? cloud.points.size() : 0u) << what;
    if (layout.rgb) {
      EXPECT_TRUE(near3(cloud.colours[9], f.rgb[9][0] / 65535.0, f.rgb[9][1] / 65535.0, f.rgb[9][2] / 65535.0));
    }
  }
}

TEST_F(LasReaderTest, EightBitColoursAndTheYUpOption) {
  LasFile f = randomLas(7, 2, 2, 50);
  for (auto& c : f.rgb) c = {uint16_t(c[0] % 256), uint16_t(c[1] % 256), 255};
  const std::string path = dir.write("rgb8.las", lasBytes(f));
  StdoutCapture quiet;
  ASSERT_TRUE(cloud.load(path, LoadOptions{UpAxis::Y}));
  EXPECT_TRUE(near3(cloud.colours[3], f.rgb[3][0] / 255.0, f.rgb[3][1] / 255.0, 1.0));
  const std::vector<Triple> file = fileCoordinates(f);
  expectScanCoordinates(cloud, file, 1e-6, "up y");
  double lowestY = 1e300;
  for (const Triple& p : file) lowestY = std::min(lowestY, p[1]);
  EXPECT_NEAR(cloud.points[3].y, file[3][1] - lowestY, 1e-6);  // the file's second axis is up
}

TEST_F(LasReaderTest, MalformedFilesAreRejectedWithTheirProblem) {
  const LasFile good = randomLas(9, 2, 1, 20);
  const std::string bytes = lasBytes(good);
  auto patched = [&](size_t at, std::string with) { return std::string(bytes).replace(at, with.size(), with); };
  LasFile tooMany = good;
  tooMany.declaredPoints = 21;
  LasFile none = good;
  none.xyz.clear();
  const struct {
    const char* name;
    std::string content, problem;
  } cases[] = {
      {"short.las", bytes.substr(0, 200), "the file holds 200 bytes, too few for a LAS header"},
      {"signature.las", patched(0, "LASX"), "the file does not begin with the LAS signature"},
      {"version.las", patched(24, "\x02"), "LAS version 2.2 is not read"},
      {"header.las", patched(94, std::string("\xe2\x00", 2)), "the LAS 1.2 header size is 226 bytes"},
      {"compressed.las", patched(104, "\x81"), "the points are compressed (LAZ)"},
      {"format.las", patched(104, "\x0b"), "point data format 11 is not one of the formats 0 to 10"},
      {"record.las", patched(105, std::string("\x13\x00", 2)),
       "point records of 19 bytes are too short for point format 1, which needs 28"},
      {"offset.las", patched(96, std::string("\xff\xff\x00\x00", 4)), "the point data are said to start at byte 65535"},
      {"scale.las", patched(139, std::string(8, '\0')), "the header's Y scale factor or offset is zero"},
      {"truncated.las", lasBytes(tooMany), "the header declares 21 points of 33 bytes, more than the 660 bytes"},
      {"cut.las", bytes.substr(0, bytes.size() - 1), "the header declares 20 points of 33 bytes, more than the 659"},
      {"empty.las", lasBytes(none), "the file holds no points"},
  };
  for (const auto& c : cases) expectRejected(c.name, c.content, c.problem);

  // LAZ by its name, in any case, with advice; nothing is read.
  for (const char* name : {"scan.laz", "SCAN.LAZ"}) {
    expectRejected(name, bytes, "LAZ is compressed LAS, which is not read; decompress it to LAS");
  }
}

// The shared scan: LAS 1.2 format 0 against the text file decoded from the same LAZ (four
// decimals), record for record; and the LAZ original gets the plain message.
TEST_F(LasReaderTest, SharedLasScanMatchesItsTextOriginal) {
  const std::string root = FRONDAREL_REALDATA;
  if (!std::filesystem::exists(root + "/thirdparty/TreeLS_pine.las")) GTEST_SKIP() << "no shared real scans";
  std::vector<Triple> text;
  std::ifstream in(root + "/original/TreeLS_pine.xyz");
  for (Triple p; in >> p[0] >> p[1] >> p[2];) text.push_back(p);
  load(root + "/thirdparty/TreeLS_pine.las");
  expectScanCoordinates(cloud, text, 0.5e-4 + 1e-9, "TreeLS_pine.las");

  const std::string laz = root + "/original/TreeLS_pine.laz";
  const std::string out = load(laz);
  EXPECT_EQ(out.rfind("ERROR: point cloud [" + laz + "]: LAZ is compressed LAS", 0), 0u) << out;
  expectEmpty();
}

}  // namespace
