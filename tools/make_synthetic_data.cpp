// Writes the bundled synthetic tree scans and leaf models, or one large cloud for benchmarks.
//
//   make_synthetic_data --out DIR
//       DIR/point_model/ (six point models) and DIR/leaf_model/ (seven leaf models)
//   make_synthetic_data --big N --format ply7|ply5|ply3|text|geo --out FILE [--seed S]
//       one cloud of N points
//
// Every number comes from a fixed seed through PortableRng, so the files are the same on
// every machine.

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "synthetic_leaves.h"
#include "synthetic_scan.h"

namespace {

enum class CloudFormat { kPly3, kPly5, kPly7, kText, kGeo };

// Ground under the tree for the text and geo formats: a plane through baseHeight at the
// trunk, with the given slopes (metres per metre east and north).
struct Terrain {
  double baseHeight = 0.0;
  double slopeX = 0.0, slopeY = 0.0;
  double at(double x, double y) const { return baseHeight + slopeX * x + slopeY * y; }
};

// Where a geo cloud's local metres (east x, north y) are placed on the WGS84 ellipsoid.
struct GeoOrigin {
  double latitude = 0.0, longitude = 0.0;  // degrees
};

struct CloudJob {
  std::string name;
  CloudFormat format = CloudFormat::kPly3;
  std::string settingsHeader;  // written after end_header (PLY) or at the start (text); may be empty
  uint32_t seed = 1;
  TreeParams tree;
  ScanParams scan;
  Terrain terrain;
  GeoOrigin origin;
  // Retry with the next seeds until the trunk base lies within this distance (m) of the
  // centre of the cloud's box, as the trunk key points of the PLY reader assume; 0 = any tree.
  double centredTrunk = 0.0;
};

// Settings header lines shared by the PLY and text formats; the PLY-only lines follow.
const char* const kCommonHeader =
    "#frondarel\n"
    "resolution=0.18\n"
    "radius=1.2\n"
    "KNN=16\n"
    "angle1=70\n"
    "angle2=70\n"
    "angle3=30\n"
    "angle4=75\n"
    "branchThick=0.04\n"
    "leafSize=0.13\n"
    "refineTrunk=0\n";

class OutputFile {
 public:
  explicit OutputFile(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {
    if (file_) std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
  }
  ~OutputFile() {
    if (file_) std::fclose(file_);
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  FILE* get() const { return file_; }
  // Closes the file; false when a write failed.
  bool close() {
    bool ok = file_ && !std::ferror(file_);
    if (file_ && std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    return ok;
  }

 private:
  FILE* file_;
};

// PLY files hold Y-up coordinates with X mirrored: file (x, y, z) = (-east, up, north).
void writePlyBody(FILE* f, CloudFormat format, const std::vector<ScanPoint>& points) {
  for (const ScanPoint& s : points) {
    std::fprintf(f, "%.4f %.4f %.4f", -s.p.x, s.p.z, s.p.y);
    if (format == CloudFormat::kPly5) std::fprintf(f, " %d %u", s.scanner, static_cast<unsigned>(s.intensity));
    if (format == CloudFormat::kPly7) std::fprintf(f, " %u %u %u 255", s.rgb[0], s.rgb[1], s.rgb[2]);
    std::fputc('\n', f);
  }
}

void writePlyHeader(FILE* f, CloudFormat format, size_t count) {
  std::fprintf(f, "ply\nformat ascii 1.0\ncomment synthetic tree scan written by make_synthetic_data\n");
  std::fprintf(f, "element vertex %zu\n", count);
  std::fprintf(f, "property float x\nproperty float y\nproperty float z\n");
  if (format == CloudFormat::kPly5) std::fprintf(f, "property uchar scanner\nproperty ushort intensity\n");
  if (format == CloudFormat::kPly7) {
    std::fprintf(f, "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n");
  }
  std::fprintf(f, "end_header\n");
}

// Text clouds: "x y height 0 ground" in metres, Z up.
void writeTextBody(FILE* f, const std::vector<ScanPoint>& points, const Terrain& terrain) {
  double base = terrain.at(0.0, 0.0);
  for (const ScanPoint& s : points) {
    std::fprintf(f, "%.4f %.4f %.4f 0 %.4f\n", s.p.x, s.p.y, s.p.z + base, terrain.at(s.p.x, s.p.y));
  }
}

// Geo clouds: "latitude longitude height 0 ground", degrees with nine decimals (0.1 mm).
void writeGeoBody(FILE* f, const std::vector<ScanPoint>& points, const Terrain& terrain, const GeoOrigin& origin) {
  const double a = 6378137.0, e2 = 0.00669437999014;
  const double degree = 3.14159265358979323846 / 180.0;
  double s = std::sin(origin.latitude * degree);
  double w = std::sqrt(1.0 - e2 * s * s);
  double meridianRadius = a * (1.0 - e2) / (w * w * w);
  double normalRadius = a / w;
  double base = terrain.at(0.0, 0.0);
  for (const ScanPoint& p : points) {
    double lat = origin.latitude + p.p.y / meridianRadius / degree;
    double lon = origin.longitude + p.p.x / (normalRadius * std::cos(origin.latitude * degree)) / degree;
    std::fprintf(f, "%.9f %.9f %.4f 0 %.4f\n", lat, lon, p.p.z + base, terrain.at(p.p.x, p.p.y));
  }
}

bool writeCloud(const std::string& path, const CloudJob& job, const std::vector<ScanPoint>& points) {
  OutputFile out(path);
  if (!out.get()) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  FILE* f = out.get();
  switch (job.format) {
    case CloudFormat::kPly3:
    case CloudFormat::kPly5:
    case CloudFormat::kPly7:
      writePlyHeader(f, job.format, points.size());
      std::fputs(job.settingsHeader.c_str(), f);
      writePlyBody(f, job.format, points);
      break;
    case CloudFormat::kText:
      std::fputs(job.settingsHeader.c_str(), f);
      writeTextBody(f, points, job.terrain);
      break;
    case CloudFormat::kGeo:
      writeGeoBody(f, points, job.terrain, job.origin);
      break;
  }
  if (!out.close()) {
    std::fprintf(stderr, "write failed: %s\n", path.c_str());
    return false;
  }
  std::printf("%s: %zu points\n", path.c_str(), points.size());
  return true;
}

// Horizontal distance from the trunk base (0, 0) to the centre of the points' box.
double boxCentreOffset(const std::vector<ScanPoint>& points) {
  double minX = points[0].p.x, maxX = minX, minY = points[0].p.y, maxY = minY;
  for (const ScanPoint& s : points) {
    minX = std::fmin(minX, s.p.x), maxX = std::fmax(maxX, s.p.x);
    minY = std::fmin(minY, s.p.y), maxY = std::fmax(maxY, s.p.y);
  }
  return std::hypot((minX + maxX) / 2, (minY + maxY) / 2);
}

bool runJob(const std::string& path, const CloudJob& job) {
  const int maxTries = 1000;
  for (uint32_t seed = job.seed; seed < job.seed + maxTries; ++seed) {
    PortableRng rng(seed);
    TreeShape tree = growTree(job.tree, rng);
    std::vector<ScanPoint> points = scanTree(tree, job.scan, rng);
    if (job.centredTrunk > 0.0 && boxCentreOffset(points) > job.centredTrunk) continue;
    if (seed != job.seed) std::printf("seed %u gave a centred trunk\n", seed);
    return writeCloud(path, job, points);
  }
  std::fprintf(stderr, "no tree with a centred trunk within %d seeds from %u\n", maxTries, job.seed);
  return false;
}

TreeParams treeParams(double height, double trunkRadius, int orders, int primaryMin, int primaryMax, double crownStart,
                      double spread, double lowZenith, double highZenith) {
  TreeParams t;
  t.height = height;
  t.trunkRadius = trunkRadius;
  t.orders = orders;
  t.primaryMin = primaryMin;
  t.primaryMax = primaryMax;
  t.crownStart = crownStart;
  t.spread = spread;
  t.lowZenith = lowZenith;
  t.highZenith = highZenith;
  return t;
}

ScanParams scanParams(int points, int scanners, double leafFraction, double groundFraction) {
  ScanParams s;
  s.pointCount = points;
  s.scannerCount = scanners;
  s.leafFraction = leafFraction;
  s.groundFraction = groundFraction;
  return s;
}

// The bundled point models, in file-name order. Model 0 carries a settings header with the
// trunk key points; model 3 is cut off 2.2 m above its ground, as a scan that missed the
// lower trunk; model 4 stands in the Vondelpark, Amsterdam.
std::vector<CloudJob> bundledClouds() {
  std::vector<CloudJob> jobs(6);
  jobs[0].name = "00_oak_rgb.ply";
  jobs[0].format = CloudFormat::kPly7;
  jobs[0].settingsHeader = std::string(kCommonHeader) + "addKeyPoints=1\nrefineTrunk=1\n";
  jobs[0].seed = 1001;
  jobs[0].tree = treeParams(12.5, 0.28, 3, 7, 9, 0.28, 0.45, 70.0, 40.0);
  jobs[0].scan = scanParams(44000, 4, 0.08, 0.0);
  jobs[0].centredTrunk = 0.08;

  jobs[1].name = "01_birch_intensity.ply";
  jobs[1].format = CloudFormat::kPly5;
  jobs[1].seed = 1002;
  jobs[1].tree = treeParams(13.5, 0.16, 2, 10, 13, 0.35, 0.3, 55.0, 25.0);
  jobs[1].scan = scanParams(38000, 3, 0.0, 0.0);

  jobs[2].name = "02_maple_ground.txt";
  jobs[2].format = CloudFormat::kText;
  jobs[2].settingsHeader = kCommonHeader;
  jobs[2].seed = 1003;
  jobs[2].tree = treeParams(13.0, 0.24, 3, 6, 8, 0.3, 0.42, 60.0, 35.0);
  jobs[2].scan = scanParams(38000, 3, 0.04, 0.0);

  jobs[3].name = "03_ash_clipped.xyz";
  jobs[3].format = CloudFormat::kText;
  jobs[3].seed = 1004;
  jobs[3].tree = treeParams(13.5, 0.22, 2, 8, 10, 0.35, 0.38, 60.0, 30.0);
  jobs[3].scan = scanParams(32000, 3, 0.0, 0.0);
  jobs[3].scan.clipBelow = 2.2;
  jobs[3].terrain = {131.4, 0.03, 0.015};

  jobs[4].name = "04_linden_vondelpark.geo";
  jobs[4].format = CloudFormat::kGeo;
  jobs[4].seed = 1005;
  jobs[4].tree = treeParams(12.0, 0.25, 3, 7, 9, 0.3, 0.42, 65.0, 35.0);
  jobs[4].scan = scanParams(36000, 3, 0.0, 0.0);
  jobs[4].terrain = {0.4, 0.0, 0.0};
  jobs[4].origin = {52.358024137, 4.866993218};

  jobs[5].name = "05_elm_raw.ply";
  jobs[5].format = CloudFormat::kPly3;
  jobs[5].seed = 1006;
  jobs[5].tree = treeParams(10.5, 0.2, 2, 6, 8, 0.3, 0.45, 65.0, 40.0);
  jobs[5].scan = scanParams(28000, 3, 0.0, 0.05);
  jobs[5].scan.groundRadius = 1.6;
  return jobs;
}

bool makeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) == 0) return true;
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool writeText(const std::string& path, const std::string& text) {
  OutputFile out(path);
  if (!out.get()) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  std::fputs(text.c_str(), out.get());
  if (!out.close()) return false;
  std::printf("%s\n", path.c_str());
  return true;
}

int writeBundledSet(const std::string& dir) {
  std::string pointDir = dir + "/point_model";
  std::string leafDir = dir + "/leaf_model";
  if (!makeFolder(dir) || !makeFolder(pointDir) || !makeFolder(leafDir)) {
    std::fprintf(stderr, "cannot create the folders under %s\n", dir.c_str());
    return 1;
  }
  for (const CloudJob& job : bundledClouds()) {
    if (!runJob(pointDir + "/" + job.name, job)) return 1;
  }
  for (const LeafModelFile& leaf : makeLeafModels()) {
    if (!writeText(leafDir + "/" + leaf.name, leaf.text)) return 1;
  }
  return 0;
}

bool parseFormat(const std::string& name, CloudFormat* format) {
  const struct {
    const char* name;
    CloudFormat format;
  } formats[] = {{"ply3", CloudFormat::kPly3},
                 {"ply5", CloudFormat::kPly5},
                 {"ply7", CloudFormat::kPly7},
                 {"text", CloudFormat::kText},
                 {"geo", CloudFormat::kGeo}};
  for (const auto& f : formats) {
    if (name == f.name) {
      *format = f.format;
      return true;
    }
  }
  return false;
}

int writeBigCloud(long count, const std::string& formatName, uint32_t seed, const std::string& path) {
  CloudJob job;
  if (!parseFormat(formatName, &job.format)) {
    std::fprintf(stderr, "unknown format '%s' (ply3, ply5, ply7, text or geo)\n", formatName.c_str());
    return 2;
  }
  if (count < 1 || count > 200000000) {
    std::fprintf(stderr, "point count must be between 1 and 200000000\n");
    return 2;
  }
  job.seed = seed;
  job.tree = treeParams(13.0, 0.26, 3, 9, 12, 0.28, 0.45, 65.0, 35.0);
  job.scan = scanParams(static_cast<int>(count), 4, 0.05, 0.0);
  job.origin = {52.358024137, 4.866993218};
  return runJob(path, job) ? 0 : 1;
}

void printUsage() {
  std::fprintf(stderr,
               "usage: make_synthetic_data --out DIR\n"
               "       make_synthetic_data --big N --format ply7|ply5|ply3|text|geo --out FILE [--seed S]\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, format = "ply7";
  long big = 0;
  unsigned long seed = 7;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--out" && hasValue) {
      out = argv[++i];
    } else if (arg == "--big" && hasValue) {
      big = std::strtol(argv[++i], nullptr, 10);
    } else if (arg == "--format" && hasValue) {
      format = argv[++i];
    } else if (arg == "--seed" && hasValue) {
      seed = std::strtoul(argv[++i], nullptr, 10);
    } else {
      printUsage();
      return 2;
    }
  }
  if (out.empty()) {
    printUsage();
    return 2;
  }
  if (big != 0) return writeBigCloud(big, format, static_cast<uint32_t>(seed), out);
  return writeBundledSet(out);
}
