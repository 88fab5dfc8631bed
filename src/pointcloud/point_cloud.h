#pragma once
// The scanned points of one tree in the program's axes (Y up), with their bounding box
// and the indices of the key points the readers add below and inside the trunk base.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TextScanner;

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
  int32_t rootIndex = -1;                 // first added key point, -1 if none
  int32_t keyBegin = -1;                  // index after the key points below the bottom as read, -1 if none
  int32_t keyEnd = -1;                    // index after the last added key point, -1 if none
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
  // clear, then the values of an empty cloud: counts 0, scale 1.0, key indices -1, corners zeroed.
  void reset();
  // Centres the box on X and Z, lifts its floor to Y = 0 and multiplies by scale.
  void normalise();
  // The end of every reader: normalise, then loaded = true. Rejects (message naming the file,
  // cloud reset, false) a scale or box that is not finite, as coordinates near the limits of
  // double would give.
  bool finishLoad(const std::string& path);

  // Reads path whole into text. On failure prints "ERROR: unable to open point cloud [path]!",
  // resets the cloud and returns false.
  bool readCloudFile(const std::string& path, std::string* text);
  // Prints "ERROR: point cloud [path]: problem!", resets the cloud and returns false.
  bool reject(const std::string& path, const std::string& problem);

  bool readPly(const std::string& path);
  bool readTextCloud(const std::string& path);
  bool readGeoCloud(const std::string& path);
  // The PLY and text readers on a file's content already in memory; path names the file in
  // messages. On failure the cloud is reset and a message naming the file has been printed.
  bool parsePly(const std::string& path, std::string_view text);
  bool parseTextCloud(const std::string& path, std::string_view text);

  // Drawing (render library).
  void drawPoints() const;
  void drawFrame() const;
};

// Settings lines that may follow a word beginning with "#" at the head of a model file's data:
// "resolution=", "radius=", "KNN=", "angle1=" ... "angle4=", "branchThick=", "leafSize=",
// "refineTrunk=", then (PLY only) "addKeyPoints=" and a second "refineTrunk=". Each line is
// tried in this order with scanf semantics: a line whose text does not match leaves its
// setting unchanged, the characters that did match are consumed, and the next line is tried
// from there. Writes the global settings; a value that is not finite or lies outside the setting's
// range is reported and ignored.
constexpr int kTextHeaderLines = 10;
constexpr int kPlyHeaderLines = 12;
// Reads lineCount lines of the table above from the scanner's position; returns the
// addKeyPoints value (0 unless that line was read).
int readSettingsHeader(TextScanner& scanner, int lineCount, const std::string& path);
