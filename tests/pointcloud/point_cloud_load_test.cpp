// Choosing the reader by the file name, and files that cannot be opened.

#include <filesystem>
#include <fstream>

#include "pointcloud/cloud_file_test.h"

using PointCloudLoad = CloudFileTest;

// The ending chooses the reader: the same PLY text is a PLY cloud as .ply, holds no number for
// the text reader under another ending, and loads nothing, silently, as .pcd.
TEST_F(PointCloudLoad, TheLastThreeCharactersChooseTheReader) {
  for (const auto& [name, points] :
       {std::pair<std::string, uint32_t>{"tree.ply", 2}, {"tree.pcd", 0}, {"tree.plx", 0}}) {
    const std::string out = loadFile(name, plyHeader(2, 3) + "1 2 3\n4 5 6\n");
    EXPECT_TRUE(cloud.fileCount == points && out.empty() == (name == "tree.pcd")) << name << ": " << out;
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
