#pragma once
// The scanned points of one tree in the program's axes (Y up), with their bounding box
// and the indices of the key points the readers add below and inside the trunk base.

#include <cstdint>
#include <string>
#include <vector>

// One point, colour or voxel centre; tag is 0 for every point the readers store.
struct PointRecord {
  double x = 0.0, y = 0.0, z = 0.0;
  int32_t tag = 0;
};

// Per axis: min takes p's coordinate if smaller, max if larger (strict comparisons).
void updateBounds(PointRecord& min, PointRecord& max, const PointRecord& p);

class PointCloud {
 public:
  double scale = 1.0;      // factor applied by normalise; 1.0 after a reset
  bool loaded = false;     // set when a reader has finished
  uint32_t count = 0;      // records in points, added key points included
  uint32_t fileCount = 0;  // points taken from the file (before key points)
  std::vector<PointRecord> points;
  std::vector<PointRecord> colours;       // r, g, b in 0..1 in x, y, z; PLY and text readers only
  std::vector<PointRecord> groundPoints;  // (x, ground height, z) per file point; text reader only
  int32_t rootIndex = -1;  // first added key point, -1 if none
  int32_t keyBegin = -1;   // index after the key points below the bottom as read, -1 if none
  int32_t keyEnd = -1;     // index after the last added key point, -1 if none
  PointRecord minCorner;
  PointRecord baseCorner;  // lower corner of the points as read, before key points were added
  PointRecord maxCorner;

  // Resets the cloud and reads the file, choosing the reader by the last three characters
  // of the path (case-sensitive): "ply", "geo", "pcd" (reads nothing), else the text format.
  // Returns true when the cloud was loaded; on failure a message naming the file has been
  // printed and the cloud is empty and not loaded.
  bool load(const std::string& path);
  // Frees the arrays; loaded = false.
  void clear();
  // Centres the box on X and Z, lifts its floor to Y = 0 and multiplies by scale.
  void normalise();

  bool readPly(const std::string& path);
  bool readTextCloud(const std::string& path);
  bool readGeoCloud(const std::string& path);

  // Drawing (render library).
  void drawPoints() const;
  void drawFrame() const;
};
