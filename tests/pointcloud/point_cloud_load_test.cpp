// Choosing the reader by the file name, and files that cannot be opened.

#include <filesystem>
#include <fstream>

#include "pointcloud/cloud_file_test.h"

using PointCloudLoad = CloudFileTest;

// The ending chooses the reader: the same PLY text is a PLY cloud as .ply, holds no number for
// the text reader under another ending, and loads nothing, silently, as .pcd.
TEST_F(PointCloudLoad, TheLastThreeCharactersChooseTheReader) {
  const std::string ply = plyHeader(2, 3) + "1 2 3\n4 5 6\n";
  const struct {
    const char* name;
    uint32_t points;
  } cases[] = {{"tree.ply", 2}, {"tree.pcd", 0}, {"tree.plx", 0}};
  for (const auto& c : cases) {
    const std::string out = loadFile(c.name, ply);
    EXPECT_EQ(cloud.fileCount, c.points) << c.name;
    EXPECT_EQ(out.empty(), std::string(c.name) == "tree.pcd") << c.name;
  }
  EXPECT_EQ(loadFile("tree.plx", "0 0 0 0 0\n1 1 1 0 0\n"), "Number of points (" + dir.file("tree.plx") + "): 2\n");
}

// Mended faults: a path too short to tell the format, or a file that cannot be opened (missing,
// or a folder), is reported and drops the previous cloud.
TEST_F(PointCloudLoad, ShortPathsAndUnopenableFilesAreReported) {
  dir.write("folder.txt/inside", "1");
  for (const std::string& path :
       {std::string("ly"), dir.file("missing.ply"), dir.file("missing.geo"), dir.file("folder.txt")}) {
    loadFile("good.txt", "0 0 0 0 0\n1 1 1 0 0\n");
    ASSERT_TRUE(loadedOk);
    EXPECT_NE(load(path).find("ERROR: "), std::string::npos) << path;
    expectEmpty();
  }
}
