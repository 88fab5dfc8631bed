// The text reader on the column files other tools write: separators, header lines, column
// order, extra columns, line ends; the five-column meaning kept; stopping at a bad line; the
// up-axis option.

#include <random>

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

using ColumnTextTest = CloudFileTest;

TEST_F(ColumnTextTest, SeparatorsHeadersAndColumnOrdersGiveTheSamePoints) {
  const std::vector<Triple> points = treePoints(5, 80);
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"plain.xyz", rows(points, "%.3f %.3f %.3f")},
      {"tabs.txt", rows(points, "%.3f\t%.3f\t%.3f\t17")},
      {"crlf.txt", rows(points, "%.3f %.3f %.3f 0.5 0.5 0.5", "\r\n")},
      {"csv.csv", "X,Y,Z,R,G,B\n" + rows(points, "%.3f, %.3f, %.3f, 10, 20, 30")},
      {"semicolon.txt", "\"z\";\"x\";\"y\";\"i\"\n" + rows(points, "%3$.3f;%1$.3f;%2$.3f;4")},
      {"cloudcompare.asc", "//X Y Z Intensity\n" + rows(points, "%.3f %.3f %.3f 12")},
      {"hash.txt", "# x y z\n" + rows(points, "%.3f %.3f %.3f")},
      {"title.txt", "tree 1, spring scan\n" + rows(points, "%.3f %.3f %.3f")},
      {"count.pts", "80\n" + rows(points, "%.3f %.3f %.3f -1200 200 180 160")},
      {"named5.txt", "a b x y z\n" + rows(points, "0 0 %.3f %.3f %.3f")},
  };
  for (const auto& c : cases) {
    const std::string path = dir.write(c.name, c.text);
    EXPECT_EQ(load(path), "Number of points (" + path + "): 80\n") << c.name;
    expectScanCoordinates(cloud, points, 1e-9, c.name);
    EXPECT_TRUE(cloud.colours.empty() && cloud.groundPoints.empty() && cloud.scale == 1.0) << c.name;
    EXPECT_EQ(cloud.rootIndex, 80) << c.name;
  }
}

// Five numbers a line keep their meaning (x, y, height, unused, ground) whatever separates
// them: the comma file gives what the space file has always given.
TEST_F(ColumnTextTest, FiveColumnsKeepTheirMeaningWithAnySeparator) {
  const std::vector<Triple> points = treePoints(6, 40);
  PointCloud spaces;
  {
    StdoutCapture quiet;
    ASSERT_TRUE(spaces.parseTextCloud("spaces.txt", rows(points, "%.3f %.3f %.3f 0 -0.25")));
  }
  loadFile("commas.txt", rows(points, "%.3f,%.3f,%.3f,0,-0.25"));
  ASSERT_TRUE(cloud.loaded && cloud.count == spaces.count && cloud.groundPoints.size() == 40);
  for (uint32_t i = 0; i < cloud.count; ++i) {
    const PointRecord& p = spaces.points[i];
    EXPECT_TRUE(near3(cloud.points[i], p.x, p.y, p.z, 0)) << i;
  }
  EXPECT_EQ(cloud.minCorner.y, 0.0);
  EXPECT_EQ(cloud.baseCorner.y, spaces.baseCorner.y);  // lifted from the ground column, not the lowest point
  expectScanCoordinates(cloud, points, 1e-9, "commas");
}

TEST_F(ColumnTextTest, ReadingStopsAtALineWithoutACoordinateAndSaysWhere) {
  const std::vector<Triple> points = treePoints(7, 30);
  const std::string path =
      dir.write("stop.csv", "x,y,z\n" + rows(points, "%.3f,%.3f,%.3f") + "1,2\n" + rows(points, "%.3f,%.3f,%.3f"));
  EXPECT_EQ(load(path), "Number of points (" + path + "): 30\nWARNING: point cloud [" + path +
                            "]: reading stopped at line 32, which does not hold a number in each of columns 1, 2 and "
                            "3\n");
  expectScanCoordinates(cloud, points, 1e-9, "stop.csv");
  expectRejected("nan.txt", "1 2 3\n4 nan 6\n", "point 2 holds a value that is not finite!");
}

// --up y takes the file's second column as up, without a mirror; --up z on the five-column
// format changes nothing.
TEST_F(ColumnTextTest, TheUpAxisOption) {
  const std::vector<Triple> points = treePoints(8, 50);
  const std::string plain = dir.write("plain.xyz", rows(points, "%.3f %.3f %.3f"));
  {
    StdoutCapture quiet;
    ASSERT_TRUE(cloud.load(plain, LoadOptions{UpAxis::Y}));
  }
  expectScanCoordinates(cloud, points, 1e-9, "up y");
  double lowestY = 1e300;
  for (const Triple& p : points) lowestY = std::min(lowestY, p[1]);
  for (int i : {0, 17, 49}) EXPECT_NEAR(cloud.points[i].y, points[i][1] - lowestY, 1e-9) << i;

  const std::string five = dir.write("five.txt", rows(points, "%.3f %.3f %.3f 0 -1"));
  PointCloud asIs;
  StdoutCapture quiet;
  ASSERT_TRUE(asIs.load(five) && cloud.load(five, LoadOptions{UpAxis::Z}));
  ASSERT_EQ(cloud.count, asIs.count);
  for (uint32_t i = 0; i < cloud.count; ++i) {
    EXPECT_TRUE(near3(cloud.points[i], asIs.points[i].x, asIs.points[i].y, asIs.points[i].z, 0)) << i;
  }
}

}  // namespace
