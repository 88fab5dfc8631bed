// The PLY reader on layouts other than the program's own: binary little- and big-endian with
// every scalar type, properties and elements around the vertices, lists, colours, ASCII by
// name, and truncated files; then the shared binary scans against their text originals.

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/scan_files.h"

namespace {

// Whole numbers that every type holds, so the file keeps them exactly.
std::vector<Triple> smallPoints(unsigned seed, size_t n, bool unsignedOnly) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> v(unsignedOnly ? 0 : -120, 120);
  std::vector<Triple> points(n);
  for (Triple& p : points) p = {double(v(rng)), double(v(rng)), double(v(rng))};
  points[0][2] = unsignedOnly ? 0 : -120;  // a tall cloud: the key points need height
  points[1][2] = 120;
  return points;
}

// A binary PLY: a face element of two triangles before the vertices, each vertex holding a
// float "nx" and a list before x, y, z of the given type (in the order z, x, y), then a uchar
// flag; colours as uchar red, green, blue when asked.
std::string binaryPly(const std::vector<Triple>& points, const std::string& type, bool big, bool colours) {
  std::ostringstream header;
  header << "ply\nformat " << (big ? "binary_big_endian" : "binary_little_endian") << " 1.0\ncomment test\n"
         << "element face 2\nproperty list uchar int vertex_indices\n"
         << "element vertex " << points.size() << "\nproperty float nx\nproperty list uchar short extra\n"
         << "property " << type << " z\nproperty " << type << " x\nproperty " << type << " y\n"
         << "property uchar flag\n";
  if (colours) header << "property uchar red\nproperty uchar green\nproperty uchar blue\n";
  header << "end_header\n";
  std::string out = header.str();
  for (int face = 0; face < 2; ++face) {
    out += '\x03';
    for (int k = 0; k < 3; ++k) putBytes<int32_t>(out, face + k, big);
  }
  for (size_t i = 0; i < points.size(); ++i) {
    putBytes<float>(out, 0.5f, big);
    out += static_cast<char>(i % 3);  // lists of 0, 1 or 2 shorts
    for (size_t k = 0; k < i % 3; ++k) putBytes<int16_t>(out, -7, big);
    putPlyValue(out, type, points[i][2], big);
    putPlyValue(out, type, points[i][0], big);
    putPlyValue(out, type, points[i][1], big);
    out += '\x01';
    if (colours) out += std::string{char(i % 256), char(255), char(0)};
  }
  return out;
}

using PlyAnyLayoutTest = CloudFileTest;

TEST_F(PlyAnyLayoutTest, BinaryPlyOfEveryTypeAndByteOrderGivesTheFileCoordinatesBack) {
  const char* types[] = {"char", "uchar", "short", "ushort", "int", "uint", "float", "double"};
  for (const char* type : types) {
    for (bool big : {false, true}) {
      const std::string what = std::string(type) + (big ? " big-endian" : " little-endian");
      const std::vector<Triple> points = smallPoints(31, 60, type[0] == 'u');
      const std::string path = dir.write("any.ply", binaryPly(points, type, big, false));
      EXPECT_EQ(load(path), "Number of points (" + path + "): 60\n") << what;
      expectScanCoordinates(cloud, points, 0.0, what);
      EXPECT_TRUE(cloud.colours.empty() && cloud.scale == 1.0 && cloud.rootIndex == 60) << what;
      EXPECT_EQ(cloud.points[5].y, points[5][2] - (type[0] == 'u' ? 0 : -120)) << what;  // Z up
    }
  }
  loadFile("colours.ply", binaryPly(smallPoints(32, 300, false), "float", true, true));
  ASSERT_EQ(cloud.colours.size(), cloud.points.size());
  EXPECT_TRUE(near3(cloud.colours[258], 2 / 255.0, 1.0, 0.0, 1e-15));
}

TEST_F(PlyAnyLayoutTest, AsciiLayoutsOtherThanTheProgramsAreReadByName) {
  const std::vector<Triple> points = smallPoints(33, 20, false);
  const struct {
    const char* name;
    std::string properties;
    const char* row;  // printf format of a row from x, y, z
  } cases[] = {
      {"normals.ply",
       "float x\nproperty float y\nproperty float z\nproperty float nx\nproperty float ny\n"
       "property float nz\n",
       "%g %g %g 0.1 0.2 0.3\n"},
      {"seven.ply",
       "float x\nproperty float y\nproperty float z\nproperty float nx\nproperty float ny\n"
       "property float nz\nproperty float curvature\n",
       "%g %g %g 0.1 0.2 0.3 0.004\n"},
      {"upper.ply", "double X\nproperty double Y\nproperty double Z\n", "%g %g %g\n"},
      {"twisted.ply", "int y\nproperty list uchar int rest\nproperty int x\nproperty int z\n",
       "%2$g 2 5 6 %1$g %3$g\n"},
  };
  for (const auto& c : cases) {
    std::string text = "ply\nformat ascii 1.0\nelement vertex 20\nproperty " + c.properties + "end_header\n";
    char row[128];
    for (const Triple& p : points) std::snprintf(row, sizeof row, c.row, p[0], p[1], p[2]), text += row;
    loadFile(c.name, text);
    expectScanCoordinates(cloud, points, 0.0, c.name);
    EXPECT_EQ(cloud.points[3].y, points[3][2] + 120) << c.name;  // Z up
  }
}

TEST_F(PlyAnyLayoutTest, TruncatedOrInconsistentFilesAreRejected) {
  const std::vector<Triple> points = smallPoints(34, 10, false);
  const std::string good = binaryPly(points, "float", false, false);
  const std::string xyz =
      "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
      "property float y\nproperty float z\nend_header\n";
  const struct {
    const char* name;
    std::string content, problem;
  } cases[] = {
      {"cut.ply", good.substr(0, good.size() - 1), "vertex 10 of 10 runs past the end of the data"},
      {"short.ply", xyz + std::string(35, '\0'), "the header declares 3 vertices of 12 bytes, more than the 35"},
      {"many.ply", std::string(good).replace(good.find("vertex 10"), 9, "vertex 1000000"),
       "the header declares 1000000 vertices of at least 18 bytes, more than the"},
      {"faces.ply", good.substr(0, good.find("end_header\n") + 11 + 20), "the 2 rows of the \"face\" element run"},
      {"names.ply",
       "ply\nformat ascii 1.0\nelement vertex 1\nproperty float a\nproperty float b\nproperty float c\n"
       "property float d\nend_header\n1 2 3 4\n",
       "the vertex element has no x, y and z properties (it "
       "has: a b c d)"},
      {"type.ply", "ply\nformat binary_little_endian 1.0\nelement vertex 1\nproperty float12 x\nend_header\n",
       "line 4 of the PLY header, \"property float12 x\", names an unknown type"},
      {"format.ply", "ply\nformat binary_middle_endian 1.0\nelement vertex 1\nproperty float x\nend_header\n",
       "line 2 of the PLY header, \"format binary_middle_endian 1.0\", names a format other than"},
      {"magic.ply", "plx\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header\n",
       "the file does not begin with a \"ply\" line"},
      {"nan.ply", xyz + std::string("\0\0\xc0\x7f", 4) + std::string(32, '\0'), "vertex 1 holds a coordinate that is"},
  };
  for (const auto& c : cases) expectRejected(c.name, c.content, c.problem);
}

// The shared binary PLY files, written by another tool, against the text files they came from:
// the same points to float precision.
TEST_F(PlyAnyLayoutTest, SharedBinaryScansMatchTheirTextOriginals) {
  const std::string root = FRONDAREL_REALDATA;
  if (!std::filesystem::exists(root + "/thirdparty")) GTEST_SKIP() << "no shared real scans";
  for (const auto& [ply, text] : {std::pair<std::string, std::string>{"AdTree_tree1_binary.ply", "AdTree_tree1.xyz"},
                                  {"rTwig_cloud_binary.ply", "rTwig_cloud.txt"}}) {
    std::vector<Triple> original;
    std::ifstream in(root + "/original/" + text);
    for (Triple p; in >> p[0] >> p[1] >> p[2];) original.push_back(p);
    load(root + "/thirdparty/" + ply);
    double largest = 0;
    for (const Triple& p : original) largest = std::max({largest, std::fabs(p[0]), std::fabs(p[1]), std::fabs(p[2])});
    expectScanCoordinates(cloud, original, largest * 0x1p-24 * 1.01, ply);
  }
}

}  // namespace
