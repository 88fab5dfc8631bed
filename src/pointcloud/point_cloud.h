#pragma once
// The scanned points of one tree in the program's axes (Y up), with their bounding box,
// the indices of the key points the readers add below and inside the trunk base, and the
// frame that maps the model back to the file's own coordinates.
//
// Where the members are defined:
//   point_cloud.cpp       load (reader choice), clear, reset, normalise, finishLoad,
//                         readCloudFile, reject, acceptPointCount, computeBounds
//   text_cloud_reader.cpp readTextCloud, parseTextCloud, finishOnGround
//   ply_reader.cpp        readPly, parsePly
//   las_reader.cpp        readLas, parseLas
//   geo_reader.cpp        readGeoCloud, parseGeoCloud
//   point_cloud_gl.cpp    drawPoints, drawFrame (render library)
//   settings_header_reader.cpp  readSettingsHeader (below)
// Globals the readers write besides the cloud:
//   text reader: the settings of a "#" header (readSettingsHeader, kTextHeaderLines);
//   PLY reader: the settings of a "#" header after end_header in ASCII files
//     (kPlyHeaderLines);
//   geo reader: g_dModelLongitude and g_dModelLatitude (only when a point could be projected);
//   LAS reader: none.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pointcloud/scan_frame.h"

class FileBytes;
class TextScanner;

// One point, colour or voxel centre; tag is 0 for every point the readers store.
struct PointRecord {
  double x = 0.0, y = 0.0, z = 0.0;
  int32_t tag = 0;
};

// Per axis: min takes p's coordinate if smaller, max if larger (strict comparisons).
void updateBounds(PointRecord& min, PointRecord& max, const PointRecord& p);

// Which of the file's axes points up.
//   FromFormat: the format's convention. Z for three-or-more-column text, text with named
//     columns, LAS and PLY files other than the layouts below; the five-column text and
//     geo formats have a height column; the program's own ASCII PLY layouts (3, 5 or 7
//     properties beginning x, y, z) are Y-up with X mirrored and scaled to 16 units high.
//   Y: the file's second coordinate is up: model = file (x, y, z), no mirror.
//   Z: model = file (x, z, y).
// With Y or Z, PLY files of the program's own layouts are read like any other PLY file, as
// scans in metres (scale 1, ground at the lowest point, the text format's key points, the
// settings header still read); the five-column text format reads as always with Z and as
// three columns x, y, z without its ground column with Y; geo files ignore the option.
enum class UpAxis { FromFormat, Y, Z };

struct LoadOptions {
  UpAxis up = UpAxis::FromFormat;
};

// "y" / "z" (either case) to Y / Z; false for anything else.
bool parseUpAxis(std::string_view text, UpAxis* up);

class PointCloud {
 public:
  double scale = 1.0;      // factor applied by normalise; 1.0 after a reset
  bool loaded = false;     // set when a reader has finished
  uint32_t count = 0;      // records in points, added key points included
  uint32_t fileCount = 0;  // points taken from the file (before key points)
  std::vector<PointRecord> points;
  // r, g, b in 0..1 in x, y, z, one per record of points or empty (then every point is
  // drawn black). Filled by the program's own PLY layouts, the five-column text format, and PLY or
  // LAS files that hold colours.
  std::vector<PointRecord> colours;
  std::vector<PointRecord> groundPoints;  // (x, ground height, z) per file point; five-column text only
  int32_t rootIndex = -1;                 // first added key point, -1 if none
  int32_t keyBegin = -1;                  // index after the key points below the bottom as read, -1 if none
  int32_t keyEnd = -1;                    // index after the last added key point, -1 if none
  PointRecord minCorner;
  PointRecord baseCorner;  // lower corner of the points as read, before key points were added
  PointRecord maxCorner;
  ScanFrame frame;  // model coordinates back to the file's; set by every reader

  // Resets the cloud and reads the file, choosing the reader by the file name's extension,
  // in any case: ".ply", ".las", ".laz" (refused with advice), ".geo", ".pcd" (reads
  // nothing, silently), anything else the text reader. Returns true when the cloud was
  // loaded; on failure a message naming the file has been printed and the cloud is empty
  // and not loaded.
  bool load(const std::string& path, const LoadOptions& options = {});
  // Frees the arrays; loaded = false.
  void clear();
  // clear, then the values of an empty cloud: counts 0, scale 1.0, key indices -1, corners
  // zeroed, frame the identity.
  void reset();
  // Centres the box on X and Z, lifts its floor to Y = 0 and multiplies by scale; records
  // the shift and scale in frame.
  void normalise();
  // The end of every reader: normalise, then loaded = true. Rejects (message naming the file,
  // cloud reset, false) a scale or box that is not finite, as coordinates near the limits of
  // double would give.
  bool finishLoad(const std::string& path);
  // minCorner and maxCorner of points[0, count); count must be at least 1.
  void computeBounds();
  // The end of the readers of clouds in metres that stand on (or float above) a ground at
  // the given height: the text format's key points (a line of points towards the centroid
  // when the cloud floats, otherwise one root point where the trunk meets the ground), the
  // ground as the floor, scale 1, then finishLoad. The file's points are in points[0,
  // fileCount) with kSpareRecords records after them, count == fileCount, and minCorner and
  // maxCorner hold their bounds.
  bool finishOnGround(const std::string& path, double ground);

  // Opens path whole as bytes. On failure prints "ERROR: unable to open point cloud [path]!",
  // resets the cloud and returns false.
  bool readCloudFile(const std::string& path, FileBytes* bytes);
  // Prints "ERROR: point cloud [path]: problem!", resets the cloud and returns false.
  bool reject(const std::string& path, const std::string& problem);
  // Rejects (as reject) a point count of zero or beyond what the key indices can address.
  bool acceptPointCount(const std::string& path, size_t n);

  // Each reader: read the file, then parse it.
  bool readPly(const std::string& path, const LoadOptions& options = {});
  bool readTextCloud(const std::string& path, const LoadOptions& options = {});
  bool readLas(const std::string& path, const LoadOptions& options = {});
  bool readGeoCloud(const std::string& path);
  // The readers on a file's content already in memory; path names the file in messages.
  // On failure the cloud is reset and a message naming the file has been printed.
  //   parsePly: ASCII, binary little- and big-endian; the program's own layouts as described at
  //     UpAxis, any other vertex layout by the names x, y, z (red, green, blue as colours).
  //   parseTextCloud: an optional "#" settings header, then either the five-column format
  //     (x, y, height, unused, ground height) or three or more columns separated by spaces,
  //     tabs, commas or semicolons, with an optional header line naming x, y, z.
  //   parseLas: LAS 1.0 to 1.4, point formats 0 to 10, scale and offset of the header.
  //   parseGeoCloud: five numbers per point, latitude, longitude, height, unused, ground.
  bool parsePly(const std::string& path, std::string_view text, const LoadOptions& options = {});
  bool parseTextCloud(const std::string& path, std::string_view text, const LoadOptions& options = {});
  bool parseLas(const std::string& path, std::string_view bytes, const LoadOptions& options = {});
  bool parseGeoCloud(const std::string& path, std::string_view text);

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
