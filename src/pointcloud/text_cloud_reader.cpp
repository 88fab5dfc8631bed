// The text reader. Two layouts:
// - the five-column format: x, z, height, an unused value and the ground height under the
//   point, numbers read as a stream of "%lf" five to a point, after an optional settings
//   header; the model is (x, height, z);
// - columns, for the files other tools write: three or more per line, separated by spaces,
//   tabs, commas or semicolons, with an optional header line that names x, y and z (else
//   the first three columns are x, y, z); Z up unless the load options say otherwise.
// A file whose first data line holds exactly five numbers and no header line names its
// columns keeps the five-column meaning. Both end in the same key points, which join the
// cloud to the ground (a line of points towards the centroid when the cloud floats above
// the ground, otherwise one root point where the trunk meets the ground); column files
// without a ground column stand on their lowest point.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "pointcloud/point_cloud.h"
#include "pointcloud/reader_support.h"
#include "pointcloud/text_scanner.h"
#include "settings/settings.h"

namespace {

constexpr int kColumns = 5;
// Spacing of the key points laid from the ground towards the centroid.
constexpr double kGroundLineStep = 0.75;

// The points of the file and their ground points, and what the reading met.
struct TextRows {
  std::vector<PointRecord> points;        // (c1, c3, c2)
  std::vector<PointRecord> groundPoints;  // (c1, c5, c2)
  size_t numbers = 0;                     // numbers read, a trailing partial row included
  size_t firstNonFinite = SIZE_MAX;       // index of the first row with a used value that is not finite
};

// Reads numbers as "%lf" until a read fails or the text ends, five to a row. The rows go
// straight into the point arrays (reserved from the line count, the usual layout) rather
// than through a list of all numbers, to save a pass and memory on large clouds.
TextRows readRows(TextScanner& scanner) {
  TextRows rows;
  const std::string_view rest = scanner.text().substr(scanner.position());
  // A point takes at least ten characters ("0 0 0 0 0\n"): blank lines reserve nothing.
  const size_t lines =
      std::min(static_cast<size_t>(std::count(rest.begin(), rest.end(), '\n')) + 1, rest.size() / (2 * kColumns) + 1);
  rows.points.reserve(lines + kSpareRecords);
  rows.groundPoints.reserve(lines);
  double c[kColumns];
  int filled = 0;
  while (scanner.readDouble(&c[filled])) {
    ++rows.numbers;
    if (++filled < kColumns) continue;
    filled = 0;
    const bool finite = std::isfinite(c[0]) && std::isfinite(c[1]) && std::isfinite(c[2]) && std::isfinite(c[4]);
    if (!finite && rows.firstNonFinite == SIZE_MAX) rows.firstNonFinite = rows.points.size();
    rows.points.push_back(PointRecord{c[0], c[2], c[1], 0});
    rows.groundPoints.push_back(PointRecord{c[0], c[4], c[1], 0});
  }
  return rows;
}

// Where the root of a cloud that stands on the ground goes: below the mean of its lowest
// points B, back along the mean direction from B to the points around it, at ground level G.
PointRecord trunkRoot(const std::vector<PointRecord>& points, uint32_t n, const PointRecord& min,
                      const PointRecord& max, double ground) {
  const Vec3 centre((min.x + max.x) / 2, ground, (min.z + max.z) / 2);
  Vec3 base;
  uint32_t lowest = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (points[i].y != min.y) continue;
    base += toVec3(points[i]);
    ++lowest;
  }
  base /= lowest;

  Vec3 direction;
  uint32_t around = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const Vec3 p = toVec3(points[i]);
    const double d = length(p - base);
    if (std::fabs(p.y - base.y) > 0.001 && d < 2 * g_dSearchRadius) {
      direction += (p - base) / d;
      ++around;
    }
  }
  Vec3 root(base.x, ground, base.z);
  if (around > 0) {
    const Vec3 mean = direction / around;
    if (std::fabs(mean.y) <= 0.001) return PointRecord{centre.x, ground, centre.z, 0};
    const double t = (ground - base.y) / mean.y;
    root = Vec3(base.x + t * mean.x, ground, base.z + t * mean.z);
  }
  const double offCentre = length(root - centre);
  if (offCentre > 0.25 * (max.x - min.x) || offCentre > 0.25 * (max.y - min.y)) {
    return PointRecord{centre.x, ground, centre.z, 0};
  }
  return toRecord(root);
}

// ---- Column files ----

enum class Separator { Blank, Comma, Semicolon };

inline bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A semicolon anywhere makes it the separator, else a comma, else runs of blanks.
Separator separatorOf(std::string_view line) {
  if (line.find(';') != std::string_view::npos) return Separator::Semicolon;
  if (line.find(',') != std::string_view::npos) return Separator::Comma;
  return Separator::Blank;
}

// Cuts the fields of one line, trimmed of blanks. Between separators an empty field counts,
// so "1,,3" has three fields and "1,2," has three, the last empty.
class FieldCutter {
 public:
  FieldCutter(std::string_view line, Separator separator) : rest_(line), separator_(separator) {}
  bool next(std::string_view* field) {
    if (separator_ == Separator::Blank) {
      while (!rest_.empty() && isBlank(rest_.front())) rest_.remove_prefix(1);
      if (rest_.empty()) return false;
      size_t end = 0;
      while (end < rest_.size() && !isBlank(rest_[end])) ++end;
      *field = rest_.substr(0, end);
      rest_.remove_prefix(end);
      return true;
    }
    if (done_) return false;
    const size_t cut = rest_.find(separator_ == Separator::Comma ? ',' : ';');
    *field = trim(rest_.substr(0, cut));
    if (cut == std::string_view::npos) {
      done_ = true;
    } else {
      rest_.remove_prefix(cut + 1);
    }
    return true;
  }

 private:
  std::string_view rest_;
  Separator separator_;
  bool done_ = false;
};

std::vector<std::string_view> fieldsOf(std::string_view line) {
  std::vector<std::string_view> fields;
  FieldCutter cutter(line, separatorOf(line));
  std::string_view field;
  while (cutter.next(&field)) fields.push_back(field);
  return fields;
}

// A whole field as a number, with the acceptance of "%lf".
bool fieldNumber(std::string_view field, double* value) {
  TextScanner scanner(field);
  return !field.empty() && scanner.readDouble(value) && scanner.atEnd();
}

bool allNumbers(const std::vector<std::string_view>& fields) {
  double value;
  for (std::string_view f : fields) {
    if (!fieldNumber(f, &value)) return false;
  }
  return !fields.empty();
}

char lowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A header field as a column name: without quotes, in lower case.
std::string columnName(std::string_view field) {
  if (field.size() >= 2 && (field.front() == '"' || field.front() == '\'') && field.back() == field.front()) {
    field = field.substr(1, field.size() - 2);
  }
  std::string name;
  for (char c : field) name += lowerChar(c);
  return name;
}

// Where the coordinates of a column file are.
struct ColumnLayout {
  Separator separator = Separator::Blank;
  int x = 0, y = 1, z = 2;  // file coordinate columns
  int ground = -1;          // the five-column format's ground height, -1 if none
  int needed = 3;           // fields a data line must have
};

// Column indices of x, y and z named by a header line; false unless all three are named.
bool namedColumns(std::string_view line, ColumnLayout* layout) {
  // Comment marks before the first name ("# x y z", "//X,Y,Z") belong to no column.
  while (!line.empty() &&
         (line.front() == '#' || line.front() == '/' || line.front() == '%' || isBlank(line.front()))) {
    line.remove_prefix(1);
  }
  const std::vector<std::string_view> fields = fieldsOf(line);
  int found[3] = {-1, -1, -1};
  for (size_t i = 0; i < fields.size(); ++i) {
    const std::string name = columnName(fields[i]);
    if (name.size() == 1 && name[0] >= 'x' && name[0] <= 'z' && found[name[0] - 'x'] < 0) {
      found[name[0] - 'x'] = static_cast<int>(i);
    }
  }
  if (found[0] < 0 || found[1] < 0 || found[2] < 0) return false;
  layout->x = found[0], layout->y = found[1], layout->z = found[2];
  layout->needed = std::max({found[0], found[1], found[2]}) + 1;
  return true;
}

// One line of the text: [begin, end) without the line end, and where the next one begins.
struct Line {
  size_t begin = 0, end = 0, next = 0;
  size_t number = 0;  // 1-based
};

// The next line that is not blank at or after position, counting lines from (position,
// number); false at the end of the text.
bool nextLine(std::string_view text, size_t position, size_t number, Line* line) {
  while (position < text.size()) {
    const size_t newline = text.find('\n', position);
    const size_t end = newline == std::string_view::npos ? text.size() : newline;
    const size_t next = newline == std::string_view::npos ? text.size() : newline + 1;
    if (!trim(text.substr(position, end - position)).empty()) {
      *line = Line{position, end, next, number};
      return true;
    }
    position = next;
    ++number;
  }
  return false;
}

// What the head of a column file holds: where the data begin and how to read them.
struct ColumnStart {
  Line data;  // the first data line
  ColumnLayout layout;
  bool headerLine = false;  // a line before the data was skipped (names, a title or a count)
  bool named = false;       // ... and it named x, y and z
  size_t fields = 0;        // numbers in the first data line
};

bool isCount(const std::vector<std::string_view>& fields) {
  if (fields.size() != 1 || fields[0].empty()) return false;
  for (char c : fields[0]) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Looks at the first lines from position: an optional header line (named columns, a title,
// or a point count as PTS files begin with), then a line of numbers. hashLine, when set, is a
// "#" line already passed that may name the columns. False when no line of numbers follows,
// then the five-column stream reader takes the file as it always did.
bool findColumnStart(std::string_view text, size_t position, size_t lineNumber, const Line* hashLine,
                     ColumnStart* start) {
  Line first;
  if (!nextLine(text, position, lineNumber, &first)) return false;
  std::string_view firstText = text.substr(first.begin, first.end - first.begin);
  std::vector<std::string_view> fields = fieldsOf(firstText);
  Line data = first;
  if (hashLine || !allNumbers(fields) || isCount(fields)) {
    const Line& header = hashLine ? *hashLine : first;
    if (!hashLine && !nextLine(text, first.next, first.number + 1, &data)) return false;
    start->headerLine = true;
    start->named = namedColumns(text.substr(header.begin, header.end - header.begin), &start->layout);
    const std::string_view dataText = text.substr(data.begin, data.end - data.begin);
    fields = fieldsOf(dataText);
    if (!allNumbers(fields)) return false;
  }
  start->data = data;
  const std::string_view dataText = text.substr(data.begin, data.end - data.begin);
  start->layout.separator = separatorOf(dataText);
  start->fields = fields.size();
  return true;
}

// The points of a column file in model axes, their ground points (five-column meaning
// only), and where the reading stopped.
struct ColumnRows {
  std::vector<PointRecord> points;
  std::vector<PointRecord> groundPoints;
  size_t stoppedLine = 0;            // 0 when the reading reached the end
  size_t firstNonFinite = SIZE_MAX;  // index of the first point with a used value that is not finite
};

// Reads the data lines from start.data on. A line whose needed fields are not all numbers
// stops the reading; blank lines are skipped. zUp maps file (x, y, z) to model (x, z, y).
ColumnRows readColumns(std::string_view text, const ColumnStart& start, bool zUp) {
  const ColumnLayout& layout = start.layout;
  ColumnRows rows;
  const std::string_view rest = text.substr(start.data.begin);
  const size_t lines = static_cast<size_t>(std::count(rest.begin(), rest.end(), '\n')) + 1;
  rows.points.reserve(lines + kSpareRecords);
  if (layout.ground >= 0) rows.groundPoints.reserve(lines);
  double value[4] = {0, 0, 0, 0};  // x, y, z, ground
  const int columnOf[4] = {layout.x, layout.y, layout.z, layout.ground};
  Line line = start.data;
  for (;;) {
    FieldCutter cutter(text.substr(line.begin, line.end - line.begin), layout.separator);
    std::string_view field;
    bool ok = true;
    for (int column = 0; column < layout.needed && ok; ++column) {
      ok = cutter.next(&field);
      for (int k = 0; k < 4 && ok; ++k) {
        if (columnOf[k] == column) ok = fieldNumber(field, &value[k]);
      }
    }
    if (!ok) {
      rows.stoppedLine = line.number;
      return rows;
    }
    const bool finite = std::isfinite(value[0]) && std::isfinite(value[1]) && std::isfinite(value[2]) &&
                        (layout.ground < 0 || std::isfinite(value[3]));
    if (!finite && rows.firstNonFinite == SIZE_MAX) rows.firstNonFinite = rows.points.size();
    if (zUp) {
      rows.points.push_back(PointRecord{value[0], value[2], value[1], 0});
      if (layout.ground >= 0) rows.groundPoints.push_back(PointRecord{value[0], value[3], value[1], 0});
    } else {
      rows.points.push_back(PointRecord{value[0], value[1], value[2], 0});
    }
    if (!nextLine(text, line.next, line.number + 1, &line)) return rows;
  }
}

// Moves the rows read into the cloud and finishes it on its ground: the mean of the ground
// column when the file has one (the five-column format, whose points are drawn black), else
// the lowest point.
bool finishRows(PointCloud& cloud, const std::string& path, std::vector<PointRecord>& points,
                std::vector<PointRecord>& groundPoints, const ScanFrame& frame) {
  const size_t n = points.size();
  cloud.count = cloud.fileCount = static_cast<uint32_t>(n);
  cloud.points.swap(points);
  cloud.points.resize(n + kSpareRecords);
  cloud.frame = frame;
  cloud.computeBounds();
  if (groundPoints.empty()) return cloud.finishOnGround(path, cloud.minCorner.y);
  cloud.colours.assign(n + kSpareRecords, PointRecord());
  cloud.groundPoints.swap(groundPoints);
  double sumGround = 0;
  for (uint32_t i = 0; i < cloud.count; ++i) sumGround += cloud.groundPoints[i].y;
  return cloud.finishOnGround(path, sumGround / n);
}

// The five-column format as a stream of numbers from dataStart, the reading the program has
// always given these files (and any file the column reader does not recognise).
bool readFiveColumnStream(PointCloud& cloud, const std::string& path, std::string_view text, size_t dataStart) {
  const char* name = path.c_str();
  TextScanner scanner(text);
  scanner.seek(dataStart);
  TextRows rows = readRows(scanner);
  const size_t n = rows.points.size();
  std::printf("Number of points (%s): %ld\n", name, static_cast<long>(n));
  scanner.skipSpace();
  if (!scanner.atEnd()) {
    std::printf("WARNING: point cloud [%s]: reading stopped at line %zu, which does not hold a number\n", name,
                scanner.lineNumber());
  }
  if (rows.numbers % kColumns != 0) {
    std::printf("WARNING: point cloud [%s]: %zu trailing value(s) do not make a whole point and are ignored\n", name,
                rows.numbers % kColumns);
  }
  if (!cloud.acceptPointCount(path, n)) return false;
  if (rows.firstNonFinite != SIZE_MAX) {
    return cloud.reject(path, "point " + std::to_string(rows.firstNonFinite + 1) + " holds a value that is not finite");
  }

  return finishRows(cloud, path, rows.points, rows.groundPoints, ScanFrame::zUp());
}

}  // namespace

bool PointCloud::readTextCloud(const std::string& path, const LoadOptions& options) {
  FileBytes text;
  return readCloudFile(path, &text) && parseTextCloud(path, text.view(), options);
}

bool PointCloud::parseTextCloud(const std::string& path, std::string_view text, const LoadOptions& options) {
  reset();
  const char* name = path.c_str();

  TextScanner scanner(text);
  std::string word;
  size_t dataStart = 0;
  Line hashLine;
  bool hashNamesColumns = false;
  if (scanner.readWord(&word) && word[0] == '#') {
    // A "#" line is a settings header, or a header line naming the columns ("# x y z").
    nextLine(text, 0, 1, &hashLine);
    ColumnLayout named;
    hashNamesColumns = namedColumns(text.substr(hashLine.begin, hashLine.end - hashLine.begin), &named);
    scanner.skipSpace();
    readSettingsHeader(scanner, kTextHeaderLines, path);
    dataStart = scanner.position();
  }

  ColumnStart start;
  const bool columns = hashNamesColumns ? findColumnStart(text, hashLine.next, hashLine.number + 1, &hashLine, &start)
                                        : findColumnStart(text, dataStart, lineAt(text, dataStart), nullptr, &start);
  const bool fiveColumns = columns && !start.named && start.fields == 5;
  if (!columns ||
      (fiveColumns && !start.headerLine && start.layout.separator == Separator::Blank && options.up != UpAxis::Y)) {
    return readFiveColumnStream(*this, path, text, dataStart);
  }
  if (!start.named && start.fields < 3) {
    return reject(path, "line " + std::to_string(start.data.number) + " holds " + std::to_string(start.fields) +
                            " number(s), a point needs three coordinates (x, y, z)");
  }
  if (fiveColumns && options.up != UpAxis::Y) {
    start.layout.ground = 4;
    start.layout.needed = 5;
  }
  const bool zUp = options.up != UpAxis::Y;
  ColumnRows rows = readColumns(text, start, zUp);
  const size_t n = rows.points.size();
  std::printf("Number of points (%s): %ld\n", name, static_cast<long>(n));
  if (rows.stoppedLine != 0) {
    const ColumnLayout& c = start.layout;
    std::printf(
        "WARNING: point cloud [%s]: reading stopped at line %zu, which does not hold a number in each of "
        "columns %d, %d and %d\n",
        name, rows.stoppedLine, c.x + 1, c.y + 1, c.z + 1);
  }
  if (!acceptPointCount(path, n)) return false;
  if (rows.firstNonFinite != SIZE_MAX) {
    return reject(path, "point " + std::to_string(rows.firstNonFinite + 1) + " holds a value that is not finite");
  }
  return finishRows(*this, path, rows.points, rows.groundPoints, zUp ? ScanFrame::zUp() : ScanFrame());
}

bool PointCloud::finishOnGround(const std::string& path, double ground) {
  const uint32_t n = fileCount;
  Vec3 sum;
  for (uint32_t i = 0; i < n; ++i) sum += toVec3(points[i]);
  const Vec3 centroid = sum / n;
  const double centreX = (minCorner.x + maxCorner.x) / 2;
  const double centreZ = (minCorner.z + maxCorner.z) / 2;
  baseCorner = minCorner;
  rootIndex = keyBegin = static_cast<int32_t>(n);
  if (std::fabs(minCorner.y - ground) / (maxCorner.y - ground) > 0.1) {
    // Floating above the ground: a line of points from the ground towards the centroid.
    uint32_t added = 0;
    if (centroid.y > ground) {
      for (double level = ground; level < centroid.y && added < kSpareRecords; level += kGroundLineStep) {
        const double m = (level - ground) / (centroid.y - ground);
        points[count] =
            PointRecord{centreX + m * (centroid.x - centreX), level, centreZ + m * (centroid.z - centreZ), 0};
        ++count;
        ++added;
        if (level < baseCorner.y) keyBegin = static_cast<int32_t>(count);
      }
    }
    keyEnd = static_cast<int32_t>(count);
  } else {
    points[count] = trunkRoot(points, fileCount, minCorner, maxCorner, ground);
    ++count;
    keyBegin = keyEnd = static_cast<int32_t>(count);
  }
  minCorner.y = ground;
  scale = 1.0;
  return finishLoad(path);
}
