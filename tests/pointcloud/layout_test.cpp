// Files other tools write: text columns (separators, header lines, column order, extra columns,
// line ends) and PLY layouts other than the program's own (binary little- and big-endian with
// every scalar type, properties and elements around the vertices, lists, colours, ASCII by
// name) give the file's coordinates back; reading stops at a bad text line; the shared scans of
// other tools against their text originals.

#include <filesystem>

#include "pointcloud/cloud_file_test.h"
#include "pointcloud/scan_files.h"

namespace {

// Points with three decimals, as a scanner export holds them, standing 0..9 m high.
std::vector<Triple> treePoints(unsigned seed, size_t n) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> across(-1500, 1500), height(0, 9000);
  std::vector<Triple> points(n);
  for (Triple& p : points) p = {481000 + across(rng) / 1000.0, 5401000 + across(rng) / 1000.0, height(rng) / 1000.0};
  return points;
}

// Writes the points with a line per point from a printf format of x, y, z (positional).
std::string rows(const std::vector<Triple>& points, const char* format, const char* lineEnd = "\n") {
  std::string text;
  char line[160];
  for (const Triple& p : points)
    std::snprintf(line, sizeof line, format, p[0], p[1], p[2]), text += line + std::string(lineEnd);
  return text;
}

using LayoutTest = CloudFileTest;

TEST_F(LayoutTest, EveryTextAndPlyLayoutGivesTheFileCoordinatesBack) {
  const std::vector<Triple> tree = treePoints(5, 80), small = smallPoints(33, 20, false),
                            any = smallPoints(31, 60, false), unsignedOnly = smallPoints(31, 60, true);
  const std::string ply = "ply\nformat ascii 1.0\nelement vertex 20\nproperty ";
  struct Case {
    std::string name, text;
    const std::vector<Triple>& points;
  };
  std::vector<Case> cases = {
      {"plain.xyz", rows(tree, "%.3f %.3f %.3f"), tree},
      {"tabs.txt", rows(tree, "%.3f\t%.3f\t%.3f\t17"), tree},
      {"crlf.txt", rows(tree, "%.3f %.3f %.3f 0.5 0.5 0.5", "\r\n"), tree},
      {"csv.csv", "X,Y,Z,R,G,B\n" + rows(tree, "%.3f, %.3f, %.3f, 10, 20, 30"), tree},
      {"semicolon.txt", "\"z\";\"x\";\"y\";\"i\"\n" + rows(tree, "%3$.3f;%1$.3f;%2$.3f;4"), tree},
      {"cloudcompare.asc", "//X Y Z Intensity\n" + rows(tree, "%.3f %.3f %.3f 12"), tree},
      {"hash.txt", "# x y z\n" + rows(tree, "%.3f %.3f %.3f"), tree},
      {"title.txt", "tree 1, spring scan\n" + rows(tree, "%.3f %.3f %.3f"), tree},
      {"count.pts", "80\n" + rows(tree, "%.3f %.3f %.3f -1200 200 180 160"), tree},
      {"named5.txt", "a b x y z\n" + rows(tree, "0 0 %.3f %.3f %.3f"), tree},
      {"seven.ply",
       ply +
           "float x\nproperty float y\nproperty float z\nproperty float nx\nproperty float ny\nproperty float nz\n"
           "property float curvature\nend_header\n" +
           rows(small, "%g %g %g 0.1 0.2 0.3 0.004"),
       small},
      {"upper.ply", ply + "double X\nproperty double Y\nproperty double Z\nend_header\n" + rows(small, "%g %g %g"),
       small},
      {"twisted.ply",
       ply + "int y\nproperty list uchar int rest\nproperty int x\nproperty int z\nend_header\n" +
           rows(small, "%2$g 2 5 6 %1$g %3$g"),
       small},
  };
  for (const char* type : {"char", "uchar", "short", "ushort", "int", "uint", "float", "double"}) {
    for (bool big : {false, true}) {
      const std::vector<Triple>& points = type[0] == 'u' ? unsignedOnly : any;
      cases.push_back(
          {type + std::string(big ? "-big.ply" : "-little.ply"), binaryPly(points, type, big, false), points});
    }
  }
  for (const Case& c : cases) {
    const std::string path = dir.write(c.name, c.text);
    EXPECT_EQ(load(path), "Number of points (" + path + "): " + std::to_string(c.points.size()) + "\n") << c.name;
    expectScanCoordinates(cloud, c.points, &c.points == &tree ? 1e-9 : 0.0, c.name);
    EXPECT_TRUE(cloud.colours.empty() && cloud.groundPoints.empty() && cloud.scale == 1.0) << c.name;
    EXPECT_EQ(cloud.rootIndex, int(c.points.size())) << c.name;
    double lowest = 1e300;
    for (const Triple& p : c.points) lowest = std::min(lowest, p[2]);
    EXPECT_NEAR(cloud.points[5].y, c.points[5][2] - lowest, 1e-9) << c.name;  // Z up
  }
  loadFile("colours.ply", binaryPly(smallPoints(32, 300, false), "float", true, true));
  ASSERT_EQ(cloud.colours.size(), cloud.points.size());
  EXPECT_TRUE(near3(cloud.colours[258], 2 / 255.0, 1.0, 0.0, 1e-15));
}

TEST_F(LayoutTest, ReadingStopsAtALineWithoutACoordinateAndSaysWhere) {
  const std::vector<Triple> points = treePoints(7, 30);
  const std::string path =
      dir.write("stop.csv", "x,y,z\n" + rows(points, "%.3f,%.3f,%.3f") + "1,2\n" + rows(points, "%.3f,%.3f,%.3f"));
  EXPECT_EQ(load(path), "Number of points (" + path + "): 30\nWARNING: point cloud [" + path +
                            "]: reading stopped at line 32, which does not hold a number in each of columns 1, 2 and "
                            "3\n");
  expectScanCoordinates(cloud, points, 1e-9, "stop.csv");
}

// The shared binary PLY and LAS files, written by other tools, against the text files they came
// from: the same points to float precision, or to the four decimals of the LAS file's text.
TEST_F(LayoutTest, SharedScansOfOtherToolsMatchTheirTextOriginals) {
  const std::string root = FRONDAREL_REALDATA;
  if (!std::filesystem::exists(root + "/thirdparty")) GTEST_SKIP() << "no shared real scans";
  for (const auto& [ply, text] : {std::pair<std::string, std::string>{"AdTree_tree1_binary.ply", "AdTree_tree1.xyz"},
                                  {"rTwig_cloud_binary.ply", "rTwig_cloud.txt"},
                                  {"TreeLS_pine.las", "TreeLS_pine.xyz"}}) {
    const std::vector<Triple> original = readTriples(root + "/original/" + text);
    load(root + "/thirdparty/" + ply);
    double largest = 0;
    for (const Triple& p : original) largest = std::max({largest, std::fabs(p[0]), std::fabs(p[1]), std::fabs(p[2])});
    expectScanCoordinates(cloud, original, ply.back() == 's' ? 0.5e-4 + 1e-9 : largest * 0x1p-24 * 1.01, ply);
  }
}

}  // namespace
