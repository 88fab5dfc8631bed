// The ASCII PLY reader: 3, 5 or 7 vertex properties, an optional settings header after
// "end_header", the optional key-point column below and inside the trunk, and a scale that
// makes every PLY cloud 16 units high.

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "pointcloud/point_cloud.h"
#include "pointcloud/reader_support.h"
#include "pointcloud/text_scanner.h"

namespace {

struct PlyHeader {
  long vertexCount = 0;
  int propertyCount = 0;  // "property" lines directly after the vertex element line
  size_t dataStart = 0;   // just after the "end_header" line
};

// The first word of a header line ends at a space or the end of the line.
std::string_view firstWord(std::string_view line) {
  return line.substr(0, line.find(' '));
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Reads the header lines up to "end_header". The vertex count comes from the first
// "element vertex" line and the properties are counted on the lines directly after it
// (blank lines skipped, as the "\n" after the count skips them); the first other line
// stops the counting for good. Returns false with *problem describing what is wrong.
bool parsePlyHeader(std::string_view text, PlyHeader* header, std::string* problem) {
  TextScanner scanner(text);
  std::string line;
  bool sawVertexElement = false;
  bool countingProperties = false;
  bool sawEnd = false;
  while (!sawEnd && scanner.readLine(&line)) {
    std::string_view word = firstWord(line);
    if (word == "end_header") {
      sawEnd = true;
    } else if (word == "format" && !startsWith(line, "format ascii")) {
      *problem = "only ASCII PLY is read, the header says \"" + line + "\"";
      return false;
    } else if (!sawVertexElement && startsWith(line, "element vertex")) {
      TextScanner lineScanner(line);
      if (!lineScanner.matchLiteral("element vertex ") || !lineScanner.readLong(&header->vertexCount)) {
        *problem = "the \"element vertex\" line holds no count";
        return false;
      }
      sawVertexElement = true;
      countingProperties = true;
    } else if (countingProperties) {
      if (word == "property") {
        ++header->propertyCount;
      } else if (!line.empty()) {
        countingProperties = false;
      }
    }
  }
  if (!sawEnd) {
    *problem = "the PLY header has no end_header line";
    return false;
  }
  if (!sawVertexElement) {
    *problem = "the PLY header has no \"element vertex\" line";
    return false;
  }
  const int j = header->propertyCount;
  if (j != 3 && j != 5 && j != 7) {
    *problem = std::to_string(j) + " vertex properties, only 3, 5 or 7 are read";
    return false;
  }
  header->dataStart = scanner.position();
  return true;
}

// One vertex as the file gives it; colour channels in 0..1.
struct PlyVertex {
  PointRecord point;
  PointRecord colour;
};

// Reads the j values of one vertex: 3 -> "%lf %lf %lf", 5 -> five "%lf" (the fifth a grey
// level of 0..65535), 7 -> three "%lf" and four "%d" (r, g, b of 0..255 and one dropped).
// The file's X axis is mirrored.
bool readVertex(TextScanner& scanner, int j, PlyVertex* out) {
  double x, y, z;
  if (!scanner.readDouble(&x) || !scanner.readDouble(&y) || !scanner.readDouble(&z)) return false;
  out->point.x = -x;
  out->point.y = y;
  out->point.z = z;
  if (j == 5) {
    double fourth, grey;
    if (!scanner.readDouble(&fourth) || !scanner.readDouble(&grey)) return false;
    out->colour.x = out->colour.y = out->colour.z = grey / 65535;
  } else if (j == 7) {
    long r, g, b, dropped;
    if (!scanner.readLong(&r) || !scanner.readLong(&g) || !scanner.readLong(&b) || !scanner.readLong(&dropped)) {
      return false;
    }
    out->colour.x = r / 255.0;
    out->colour.y = g / 255.0;
    out->colour.z = b / 255.0;
  }
  return true;
}

}  // namespace

bool PointCloud::readPly(const std::string& path) {
  std::string text;
  return readCloudFile(path, &text) && parsePly(path, text);
}

bool PointCloud::parsePly(const std::string& path, std::string_view text) {
  reset();
  const char* name = path.c_str();

  PlyHeader header;
  std::string problem;
  if (!parsePlyHeader(text, &header, &problem)) return reject(path, problem);
  const int j = header.propertyCount;

  TextScanner scanner(text);
  scanner.seek(header.dataStart);
  std::string word;
  scanner.readWord(&word);
  scanner.skipSpace();
  std::printf("buff=%s, j=%d\n", word.c_str(), j);
  int addKeyPoints = 0;
  if (!word.empty() && word[0] == '#') {
    addKeyPoints = readSettingsHeader(scanner, kPlyHeaderLines, path);
  } else {
    scanner.seek(header.dataStart);
  }

  const long declared = header.vertexCount;
  std::printf("Number of points (%s): %ld\n", name, declared);
  // Each vertex needs j numbers of at least one character, each followed by a separator
  // (the last may end the file): the count is checked against the data before allocating.
  const size_t dataBytes = text.size() - scanner.position();
  const size_t mostVertices = (dataBytes + 1) / (2 * static_cast<size_t>(j));
  if (declared <= 0) return reject(path, "the PLY header declares " + std::to_string(declared) + " vertices");
  if (static_cast<size_t>(declared) > kMaxPoints || static_cast<size_t>(declared) > mostVertices) {
    return reject(path, "the PLY header declares " + std::to_string(declared) + " vertices, more than its " +
                            std::to_string(dataBytes) + " bytes of data can hold");
  }

  const uint32_t n = static_cast<uint32_t>(declared);
  count = n;
  fileCount = n;
  points.assign(n + kSpareRecords, PointRecord());
  colours.assign(n + kSpareRecords, PointRecord());
  for (uint32_t i = 0; i < n; ++i) {
    PlyVertex vertex;
    scanner.skipSpace();
    const size_t vertexStart = scanner.position();
    if (!readVertex(scanner, j, &vertex)) {
      scanner.skipSpace();
      if (scanner.atEnd()) {
        return reject(path, "the file ends after " + std::to_string(i) + " of " + std::to_string(n) + " vertices");
      }
      return reject(path, "vertex " + std::to_string(i + 1) + " at line " + std::to_string(scanner.lineNumber()) +
                              " is not a list of " + std::to_string(j) + " numbers");
    }
    if (!isFinite(vertex.point) || !isFinite(vertex.colour)) {
      return reject(path, "vertex " + std::to_string(i + 1) + " at line " + std::to_string(lineAt(text, vertexStart)) +
                              " holds a value that is not finite");
    }
    if (i == 0) {
      minCorner = maxCorner = vertex.point;
    } else {
      updateBounds(minCorner, maxCorner, vertex.point);
    }
    points[i] = vertex.point;
    colours[i] = vertex.colour;
  }
  baseCorner = minCorner;

  const double height = maxCorner.y - minCorner.y;
  if (!(height > 0.0) || !std::isfinite(height)) {
    return reject(path, "all points lie at one height, the cloud cannot be scaled to 16 units high");
  }
  if (addKeyPoints == 1) {
    const double step = 0.05 * height;
    const double centreX = (minCorner.x + maxCorner.x) / 2;
    const double centreZ = (minCorner.z + maxCorner.z) / 2;
    const uint32_t capacity = n + kSpareRecords;
    points[count] = PointRecord{centreX, minCorner.y - step, centreZ, 0};
    rootIndex = static_cast<int32_t>(count);
    keyBegin = static_cast<int32_t>(count + 1);
    ++count;
    const double top = minCorner.y + 0.3 * height;
    for (double level = minCorner.y; level < top && count < capacity; level += step) {
      points[count++] = PointRecord{centreX, level, centreZ, 0};
    }
    keyEnd = static_cast<int32_t>(count);
    minCorner.y = points[rootIndex].y;
  }
  scale = 16.0 / (maxCorner.y - minCorner.y);
  return finishLoad(path);
}
