// Every reader given input it cannot read: an error line naming the file and the problem, and
// the cloud left empty instead of a crash or garbage. Mended faults, one case each.

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/scan_files.h"

namespace {

using MalformedInputTest = CloudFileTest;

TEST_F(MalformedInputTest, EveryReaderNamesTheProblemAndLeavesTheCloudEmpty) {
  LasFile las, tooMany, none;
  las.format = 1, las.extraBytes = 5;
  for (int i = 0; i < 20; ++i) las.xyz.push_back({i, -i, 3 * i});
  tooMany = none = las, tooMany.declaredPoints = 21, none.xyz.clear();
  const std::string bytes = lasBytes(las), ply = binaryPly(smallPoints(34, 10, false), "float", false, false);
  auto patched = [&](size_t at, std::string with) { return std::string(bytes).replace(at, with.size(), with); };
  const std::string xyz =
                        "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
                        "property float y\nproperty float z\nend_header\n",
                    plyStart = "ply\nformat ascii 1.0\nelement vertex ";
  const struct {
    const char* name;
    std::string content, problem;
  } cases[] = {
      // Text.
      {"empty.txt", "", "the file holds no points!\n"},
      {"header.txt", "#\nresolution=0.2\n", "the file holds no points!\n"},
      {"inf.txt", "0 0 0 0 0\n1 inf 1 0 0\n", "point 2 holds a value that is not finite!\n"},
      {"overflow.txt", "0 0 1e999 0 0\n1 1 1 0 0\n", "point 1 holds a value that is not finite!\n"},
      {"nan.txt", "1 2 3\n4 nan 6\n", "point 2 holds a value that is not finite!"},
      {"wide.txt", "-1e308 0 0 0 0\n1e308 0 1 0 0\n", "coordinates too large to normalise!\n"},
      // Geo: a value that is not finite rejects the file even after good rows and before a word.
      {"nan.geo", "52.358023399 4.866994641 3.4 0 0.4\n52.358026876 4.866984764 10.6 0 0.4\n52.0 nan 1 0 0\nabc\n",
       "line 3 holds a value that is not finite!\n"},
      {"empty.geo", " \n\n", "the file holds no points"},
      // The program's PLY layouts.
      {"noend.ply", plyStart + "1\nproperty float x\n", "the PLY header has no end_"},
      {"noelement.ply", "ply\nformat ascii 1.0\nproperty float x\nend_header\n1 2 3\n", "the PLY header has no \""},
      {"nocount.ply", plyStart + "many\nproperty float x\nend_header\n", "the \"element"},
      {"truncated.ply", plyHeader(4, 3) + "1.5 2.5 3.5\n4.5 5.5 6.5\n7.5 8.5", "the file ends after 2 of 4 vertices!"},
      {"huge.ply", plyHeader(100000000, 3) + "1 2 3\n", "the PLY header declares 100000000 vertices, more than its"},
      {"negative.ply", plyHeader(-5, 3) + "1 2 3\n", "the PLY header declares -5 vertices!\n"},
      {"zero.ply", plyHeader(0, 3), "the PLY header declares 0 vertices!\n"},
      {"word.ply", plyHeader(3, 3) + "1 2 3\n4 five 6\n7 8 9\n", "vertex 2 at line 12 is not a list of 3 numbers!\n"},
      {"floatcolour.ply", plyHeader(2, 7) + "1 2 3 0.5 1 1 1\n4 5 6 1 1 1 1\n", "vertex 1 at line 15 is not a list"},
      {"inf.ply", plyHeader(2, 3) + "1 2 3\n4 inf 6\n", "vertex 2 at line 12 holds a value that is not finite!\n"},
      {"overflow.ply", plyHeader(2, 5) + "1 2 3 0 1\n4 5 6 0 1e999\n", "vertex 2 at line 14 holds a value that is"},
      {"flat.ply", plyHeader(2, 3) + "1 2 3\n4 2 6\n", "all points lie at one height"},
      {"wide.ply", plyHeader(2, 3) + "-1e308 0 0\n1e308 1 0\n", "coordinates too large to normalise!\n"},
      // Other PLY layouts.
      {"cut.ply", ply.substr(0, ply.size() - 1), "vertex 10 of 10 runs past the end of the data"},
      {"short.ply", xyz + std::string(35, '\0'), "the header declares 3 vertices of 12 bytes, more than the 35"},
      {"many.ply", std::string(ply).replace(ply.find("vertex 10"), 9, "vertex 1000000"),
       "the header declares 1000000 vertices of at least 18 bytes, more than the"},
      {"faces.ply", ply.substr(0, ply.find("end_header\n") + 11 + 20), "the 2 rows of the \"face\" element run"},
      {"names.ply", plyStart + "1\nproperty float a\nproperty float b\nproperty float c\nend_header\n1 2 3\n",
       "the vertex element has no x, y and z properties (it has: a b c)"},
      {"type.ply", "ply\nformat binary_little_endian 1.0\nelement vertex 1\nproperty float12 x\nend_header\n",
       "line 4 of the PLY header, \"property float12 x\", names an unknown type"},
      {"format.ply", "ply\nformat binary_middle_endian 1.0\nelement vertex 1\nproperty float x\nend_header\n",
       "line 2 of the PLY header, \"format binary_middle_endian 1.0\", names a format other than"},
      {"magic.ply", "plx\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header\n",
       "the file does not begin with a \"ply\" line"},
      {"nan.ply", xyz + std::string("\0\0\xc0\x7f", 4) + std::string(32, '\0'), "vertex 1 holds a coordinate that is"},
      // LAS; LAZ by its name, in any case, with advice.
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
      {"scan.laz", bytes, "LAZ is compressed LAS, which is not read; decompress it to LAS"},
      {"SCAN.LAZ", bytes, "LAZ is compressed LAS, which is not read; decompress it to LAS"},
  };
  g_dModelLongitude = -123.0;
  for (const auto& c : cases) expectRejected(c.name, c.content, c.problem);
  EXPECT_EQ(g_dModelLongitude, -123.0);  // a rejected geo file keeps the model location
}

}  // namespace
