// The PLY reader. ASCII, binary little-endian and binary big-endian files with any element
// and property layout are read by the property names x, y, z (and red, green, blue as
// colours), Z up, as scans in metres. The program's own layouts keep their reading: ASCII
// files whose vertex element has 3, 5 or 7 properties beginning x, y, z (3: x y z; 5: two
// more, the fifth a grey level of 0..65535; 7: red, green, blue and one more, integers) are
// Y-up with X mirrored, may carry a settings header after "end_header" and a key-point
// column below and inside the trunk, and are scaled to 16 units high.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pointcloud/point_cloud.h"
#include "pointcloud/reader_support.h"
#include "pointcloud/text_scanner.h"

namespace {

// What the program's own layouts need of the header.
struct PlyHeader {
  long vertexCount = 0;
  int propertyCount = 0;                // "property" lines directly after the vertex element line
  std::vector<std::string> properties;  // those lines
  bool ascii = true;                    // no "format" line other than ASCII
  size_t dataStart = 0;                 // just after the "end_header" line
};

// The first word of a header line ends at a space or the end of the line.
std::string_view firstWord(std::string_view line) {
  return line.substr(0, line.find(' '));
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Reads the header lines up to "end_header" the way the program's own layouts were always
// read (the general reader parses the header again, strictly). The vertex count comes from the first
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
      header->ascii = false;
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
        header->properties.push_back(line);
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

// ---- Any layout ----

enum class PlyType { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float32, Float64 };

bool plyTypeOf(std::string_view name, PlyType* type) {
  static const struct {
    const char* name;
    PlyType type;
  } kTypes[] = {{"char", PlyType::Int8},      {"int8", PlyType::Int8},       {"uchar", PlyType::UInt8},
                {"uint8", PlyType::UInt8},    {"short", PlyType::Int16},     {"int16", PlyType::Int16},
                {"ushort", PlyType::UInt16},  {"uint16", PlyType::UInt16},   {"int", PlyType::Int32},
                {"int32", PlyType::Int32},    {"uint", PlyType::UInt32},     {"uint32", PlyType::UInt32},
                {"float", PlyType::Float32},  {"float32", PlyType::Float32}, {"double", PlyType::Float64},
                {"float64", PlyType::Float64}};
  for (const auto& t : kTypes) {
    if (name == t.name) {
      *type = t.type;
      return true;
    }
  }
  return false;
}

size_t sizeOf(PlyType type) {
  switch (type) {
    case PlyType::Int8:
    case PlyType::UInt8:
      return 1;
    case PlyType::Int16:
    case PlyType::UInt16:
      return 2;
    case PlyType::Int32:
    case PlyType::UInt32:
    case PlyType::Float32:
      return 4;
    case PlyType::Float64:
      return 8;
  }
  return 0;
}

bool isFloat(PlyType type) {
  return type == PlyType::Float32 || type == PlyType::Float64;
}

// The value of a binary scalar of the given type at p.
double loadValue(const char* p, PlyType type, bool bigEndian) {
  switch (type) {
    case PlyType::Int8:
      return static_cast<int8_t>(*p);
    case PlyType::UInt8:
      return static_cast<uint8_t>(*p);
    case PlyType::Int16:
      return loadScalar<int16_t>(p, bigEndian);
    case PlyType::UInt16:
      return loadScalar<uint16_t>(p, bigEndian);
    case PlyType::Int32:
      return loadScalar<int32_t>(p, bigEndian);
    case PlyType::UInt32:
      return loadScalar<uint32_t>(p, bigEndian);
    case PlyType::Float32:
      return loadScalar<float>(p, bigEndian);
    case PlyType::Float64:
      return loadScalar<double>(p, bigEndian);
  }
  return 0.0;
}

struct PlyProperty {
  std::string name;
  PlyType type = PlyType::Float32;  // the item type of a list
  bool list = false;
  PlyType countType = PlyType::UInt8;
};

struct PlyElement {
  std::string name;
  uint64_t count = 0;
  std::vector<PlyProperty> properties;
  // Bytes of a binary row whose lists are all empty: what every row needs at least.
  size_t smallestRowSize() const {
    size_t size = 0;
    for (const PlyProperty& p : properties) size += sizeOf(p.list ? p.countType : p.type);
    return size;
  }
  // Bytes of one binary row when it holds no list, else 0.
  size_t fixedRowSize() const {
    size_t size = 0;
    for (const PlyProperty& p : properties) {
      if (p.list) return 0;
      size += sizeOf(p.type);
    }
    return size;
  }
};

enum class PlyFormat { Ascii, BinaryLittleEndian, BinaryBigEndian };

struct PlyLayout {
  PlyFormat format = PlyFormat::Ascii;
  std::vector<PlyElement> elements;
  size_t dataStart = 0;
};

std::vector<std::string_view> wordsOf(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// Parses the header strictly: "ply", one format line, elements with their properties,
// comments, "end_header". Returns false with *problem naming the line that is wrong.
bool parsePlyLayout(std::string_view text, PlyLayout* layout, std::string* problem) {
  TextScanner scanner(text);
  std::string line;
  if (!scanner.readLine(&line) || wordsOf(line).size() != 1 || wordsOf(line)[0] != "ply") {
    *problem = "the file does not begin with a \"ply\" line";
    return false;
  }
  bool sawFormat = false;
  for (size_t number = 2; scanner.readLine(&line); ++number) {
    const std::vector<std::string_view> w = wordsOf(line);
    auto fail = [&](const std::string& what) {
      *problem = "line " + std::to_string(number) + " of the PLY header, \"" + line + "\", " + what;
      return false;
    };
    if (w.empty() || w[0] == "comment" || w[0] == "obj_info") continue;
    if (w[0] == "end_header") {
      if (!sawFormat) {
        *problem = "the PLY header has no format line";
        return false;
      }
      layout->dataStart = scanner.position();
      return true;
    }
    if (w[0] == "format") {
      if (w.size() != 3) return fail("is not \"format <kind> 1.0\"");
      if (w[1] == "ascii") {
        layout->format = PlyFormat::Ascii;
      } else if (w[1] == "binary_little_endian") {
        layout->format = PlyFormat::BinaryLittleEndian;
      } else if (w[1] == "binary_big_endian") {
        layout->format = PlyFormat::BinaryBigEndian;
      } else {
        return fail("names a format other than ascii, binary_little_endian and binary_big_endian");
      }
      sawFormat = true;
    } else if (w[0] == "element") {
      PlyElement element;
      const std::string_view count = w.size() == 3 ? w[2] : std::string_view();
      bool digits = !count.empty() && count.size() <= 19;
      for (char c : count) digits = digits && c >= '0' && c <= '9';
      if (!digits) return fail("does not give the element a count of 0 or more");
      element.name = std::string(w[1]);
      for (char c : count) element.count = element.count * 10 + static_cast<uint64_t>(c - '0');
      layout->elements.push_back(element);
    } else if (w[0] == "property") {
      if (layout->elements.empty()) return fail("comes before any element");
      PlyProperty property;
      if (w.size() == 5 && w[1] == "list") {
        property.list = true;
        if (!plyTypeOf(w[2], &property.countType) || !plyTypeOf(w[3], &property.type)) {
          return fail("names an unknown type");
        }
        if (isFloat(property.countType)) return fail("gives a list a count that is not an integer");
      } else if (w.size() == 3) {
        if (!plyTypeOf(w[1], &property.type)) return fail("names an unknown type");
      } else {
        return fail("is not \"property <type> <name>\" or \"property list <type> <type> <name>\"");
      }
      property.name = std::string(w.back());
      layout->elements.back().properties.push_back(property);
    } else {
      return fail("is not a PLY header line");
    }
  }
  *problem = "the PLY header has no end_header line";
  return false;
}

char lowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lowerChar(a[i]) != lowerChar(b[i])) return false;
  }
  return true;
}

// The index of the scalar property with one of the names (any case), -1 if none.
int findProperty(const PlyElement& element, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) {
    for (size_t i = 0; i < element.properties.size(); ++i) {
      if (!element.properties[i].list && sameName(element.properties[i].name, name)) return static_cast<int>(i);
    }
  }
  return -1;
}

// Where the values the reader uses sit in a vertex: x, y, z, then red, green, blue (-1 when
// the file has no colours).
struct VertexFields {
  int index[6] = {-1, -1, -1, -1, -1, -1};
  bool coloured() const { return index[3] >= 0; }
};

// A colour channel in 0..1: integers by the range of their type, floats as they are.
double colourValue(double value, PlyType type) {
  switch (type) {
    case PlyType::Int8:
    case PlyType::UInt8:
      value /= 255.0;
      break;
    case PlyType::Int16:
    case PlyType::UInt16:
      value /= 65535.0;
      break;
    case PlyType::Int32:
    case PlyType::UInt32:
      value /= 4294967295.0;
      break;
    default:
      break;
  }
  return std::fmin(std::fmax(value, 0.0), 1.0);
}

// Bytes of one binary row of the element starting at p, lists included; 0 with *problem set
// when the row runs past end or a list count is negative.
size_t binaryRowSize(const PlyElement& element, const char* p, const char* end, bool bigEndian) {
  size_t size = 0;
  for (const PlyProperty& property : element.properties) {
    if (!property.list) {
      size += sizeOf(property.type);
      continue;
    }
    const size_t countSize = sizeOf(property.countType);
    if (static_cast<size_t>(end - p) < size + countSize) return 0;
    const double items = loadValue(p + size, property.countType, bigEndian);
    if (items < 0) return 0;
    size += countSize + static_cast<size_t>(items) * sizeOf(property.type);
  }
  return static_cast<size_t>(end - p) < size ? 0 : size;
}

// Skips the rows of an element in binary data from *p; false when they run past the end.
bool skipBinaryElement(const PlyElement& element, const char** p, const char* end, bool bigEndian) {
  const size_t fixed = element.fixedRowSize();
  if (fixed > 0 || element.properties.empty()) {
    if (fixed > 0 && element.count > static_cast<uint64_t>(end - *p) / fixed) return false;
    *p += fixed * element.count;
    return true;
  }
  for (uint64_t row = 0; row < element.count; ++row) {
    const size_t size = binaryRowSize(element, *p, end, bigEndian);
    if (size == 0) return false;
    *p += size;
  }
  return true;
}

// Skips one ASCII row of the element: one word per scalar, a count and its items per list.
bool skipAsciiRow(const PlyElement& element, TextScanner& scanner) {
  std::string word;
  for (const PlyProperty& property : element.properties) {
    if (!property.list) {
      if (!scanner.readWord(&word)) return false;
      continue;
    }
    long items = 0;
    if (!scanner.readLong(&items) || items < 0) return false;
    for (long k = 0; k < items; ++k) {
      if (!scanner.readWord(&word)) return false;
    }
  }
  return true;
}

// Whether the header describes one of the program's own layouts: ASCII, 3, 5 or 7 vertex
// properties counted the old way, the first three the scalars x, y, z, and with 7 the
// fourth named red or of an integer type (so x y z nx ny nz and one more is read by names).
bool isOwnLayout(const PlyHeader& header) {
  const int j = header.propertyCount;
  if (!header.ascii || (j != 3 && j != 5 && j != 7)) return false;
  const char* names[] = {"x", "y", "z"};
  for (int i = 0; i < 3; ++i) {
    const std::vector<std::string_view> w = wordsOf(header.properties[i]);
    if (w.size() != 3 || w[2] != names[i]) return false;
  }
  if (j == 7) {
    const std::vector<std::string_view> w = wordsOf(header.properties[3]);
    PlyType type;
    if (w.size() != 3 || (w[2] != "red" && (!plyTypeOf(w[1], &type) || isFloat(type)))) return false;
  }
  return true;
}

// Where each used value of a fixed-size binary vertex row sits, and its type.
struct FieldSlots {
  size_t offset[6] = {0, 0, 0, 0, 0, 0};
  PlyType type[6] = {};
};

// Reads the vertices of any PLY layout by name: coordinates into model axes (Z up unless
// told otherwise), colours when the vertex has red, green and blue.
class AnyPlyReader {
 public:
  AnyPlyReader(PointCloud& cloud, const std::string& path, std::string_view text, const LoadOptions& options)
      : cloud_(cloud), path_(path), text_(text), zUp_(options.up != UpAxis::Y) {}

  bool read() {
    std::string problem;
    if (!parsePlyLayout(text_, &layout_, &problem)) return cloud_.reject(path_, problem);
    size_t v = 0;
    while (v < layout_.elements.size() && layout_.elements[v].name != "vertex") ++v;
    if (v == layout_.elements.size()) return cloud_.reject(path_, "the PLY header has no \"element vertex\" line");
    vertexIndex_ = v;
    const PlyElement& vertex = layout_.elements[v];
    const char* names[6][3] = {{"x", "x", "x"},
                               {"y", "y", "y"},
                               {"z", "z", "z"},
                               {"red", "r", "diffuse_red"},
                               {"green", "g", "diffuse_green"},
                               {"blue", "b", "diffuse_blue"}};
    for (int k = 0; k < 6; ++k) fields_.index[k] = findProperty(vertex, {names[k][0], names[k][1], names[k][2]});
    if (fields_.index[3] < 0 || fields_.index[4] < 0 || fields_.index[5] < 0) {
      fields_.index[3] = fields_.index[4] = fields_.index[5] = -1;
    }
    if (fields_.index[0] < 0 || fields_.index[1] < 0 || fields_.index[2] < 0) {
      std::string have;
      for (const PlyProperty& p : vertex.properties) have += (have.empty() ? "" : " ") + p.name;
      return cloud_.reject(path_, "the vertex element has no x, y and z properties (it has: " + have + ")");
    }
    std::printf("Number of points (%s): %llu\n", path_.c_str(), static_cast<unsigned long long>(vertex.count));
    if (!cloud_.acceptPointCount(path_, vertex.count)) return false;
    n_ = static_cast<uint32_t>(vertex.count);
    const bool ok = layout_.format == PlyFormat::Ascii ? readAscii() : readBinary();
    if (!ok) return false;

    cloud_.count = cloud_.fileCount = n_;
    cloud_.frame = zUp_ ? ScanFrame::zUp() : ScanFrame();
    cloud_.computeBounds();
    return cloud_.finishOnGround(path_, cloud_.minCorner.y);
  }

 private:
  const PlyElement& vertex() const { return layout_.elements[vertexIndex_]; }

  // Stores vertex i from its values (x, y, z, red, green, blue); false when a coordinate is
  // not finite.
  bool store(uint32_t i, const double* value) {
    if (!std::isfinite(value[0]) || !std::isfinite(value[1]) || !std::isfinite(value[2])) {
      return cloud_.reject(path_, "vertex " + std::to_string(i + 1) + " holds a coordinate that is not finite");
    }
    cloud_.points[i] =
        zUp_ ? PointRecord{value[0], value[2], value[1], 0} : PointRecord{value[0], value[1], value[2], 0};
    if (fields_.coloured()) {
      const PlyElement& v = vertex();
      cloud_.colours[i] = PointRecord{colourValue(value[3], v.properties[fields_.index[3]].type),
                                      colourValue(value[4], v.properties[fields_.index[4]].type),
                                      colourValue(value[5], v.properties[fields_.index[5]].type), 0};
    }
    return true;
  }

  bool truncated(const std::string& what) {
    return cloud_.reject(path_, what + ": the file is truncated or its header is wrong");
  }

  bool readBinary() {
    const bool big = layout_.format == PlyFormat::BinaryBigEndian;
    const char* p = text_.data() + layout_.dataStart;
    const char* end = text_.data() + text_.size();
    for (size_t e = 0; e < vertexIndex_; ++e) {
      const PlyElement& element = layout_.elements[e];
      if (!skipBinaryElement(element, &p, end, big)) {
        return truncated("the " + std::to_string(element.count) + " rows of the \"" + element.name +
                         "\" element run past the end of the data");
      }
    }
    const PlyElement& v = vertex();
    const size_t stride = v.fixedRowSize();
    const size_t least = v.smallestRowSize();
    const size_t available = static_cast<size_t>(end - p);
    if (n_ > available / least) {
      return truncated("the header declares " + std::to_string(n_) + " vertices of " + (stride ? "" : "at least ") +
                       std::to_string(least) + " bytes, more than the " + std::to_string(available) +
                       " bytes of data hold");
    }
    const int used = fields_.coloured() ? 6 : 3;
    // Offsets within a row; with lists they are found row by row.
    FieldSlots slots;
    for (int k = 0; k < used; ++k) slots.type[k] = v.properties[fields_.index[k]].type;
    if (stride > 0) {
      size_t offset = 0;
      for (size_t i = 0; i < v.properties.size(); ++i) {
        for (int k = 0; k < used; ++k) {
          if (fields_.index[k] == static_cast<int>(i)) slots.offset[k] = offset;
        }
        offset += sizeOf(v.properties[i].type);
      }
    }
    if (!allocateRecords(cloud_, path_, n_, fields_.coloured())) return false;
    double value[6] = {0, 0, 0, 0, 0, 0};
    for (uint32_t i = 0; i < n_; ++i) {
      size_t rowSize = stride;
      if (stride == 0) {
        rowSize = binaryRowSize(v, p, end, big);
        if (rowSize == 0) {
          return truncated("vertex " + std::to_string(i + 1) + " of " + std::to_string(n_) +
                           " runs past the end of the data or has a negative list count");
        }
        size_t offset = 0;
        for (size_t j = 0; j < v.properties.size(); ++j) {
          const PlyProperty& property = v.properties[j];
          for (int k = 0; k < used; ++k) {
            if (fields_.index[k] == static_cast<int>(j)) slots.offset[k] = offset;
          }
          offset += property.list ? sizeOf(property.countType) +
                                        static_cast<size_t>(loadValue(p + offset, property.countType, big)) *
                                            sizeOf(property.type)
                                  : sizeOf(property.type);
        }
      }
      for (int k = 0; k < used; ++k) value[k] = loadValue(p + slots.offset[k], slots.type[k], big);
      if (!store(i, value)) return false;
      p += rowSize;
    }
    return true;
  }

  bool readAscii() {
    TextScanner scanner(text_);
    scanner.seek(layout_.dataStart);
    // A settings header after end_header, as the program's own layouts may carry.
    std::string word;
    if (scanner.readWord(&word) && word[0] == '#') {
      scanner.skipSpace();
      readSettingsHeader(scanner, kPlyHeaderLines, path_);
    } else {
      scanner.seek(layout_.dataStart);
    }
    for (size_t e = 0; e < vertexIndex_; ++e) {
      const PlyElement& element = layout_.elements[e];
      for (uint64_t row = 0; row < element.count && !element.properties.empty(); ++row) {
        if (!skipAsciiRow(element, scanner)) {
          return cloud_.reject(path_, "row " + std::to_string(row + 1) + " of the \"" + element.name +
                                          "\" element at line " + std::to_string(scanner.lineNumber()) +
                                          " does not match the header");
        }
      }
    }
    const PlyElement& v = vertex();
    // Each vertex needs a word of at least one character and a separator per property.
    const size_t dataBytes = text_.size() - scanner.position();
    if (n_ > (dataBytes + 1) / (2 * v.properties.size())) {
      return truncated("the header declares " + std::to_string(n_) + " vertices, more than its " +
                       std::to_string(dataBytes) + " bytes of data can hold");
    }
    if (!allocateRecords(cloud_, path_, n_, fields_.coloured())) return false;
    std::vector<int> slotOf(v.properties.size(), -1);  // property index -> used value, or -1
    for (int k = 0; k < (fields_.coloured() ? 6 : 3); ++k) slotOf[fields_.index[k]] = k;
    double value[6] = {0, 0, 0, 0, 0, 0};
    for (uint32_t i = 0; i < n_; ++i) {
      for (size_t j = 0; j < v.properties.size(); ++j) {
        const PlyProperty& property = v.properties[j];
        bool ok;
        if (property.list) {
          long items = 0;
          ok = scanner.readLong(&items) && items >= 0;
          for (long k = 0; ok && k < items; ++k) ok = scanner.readWord(&word);
        } else if (slotOf[j] >= 0) {
          ok = scanner.readDouble(&value[slotOf[j]]);
        } else {
          ok = scanner.readWord(&word);
        }
        if (!ok) {
          scanner.skipSpace();
          if (scanner.atEnd()) {
            return truncated("the data end after " + std::to_string(i) + " of " + std::to_string(n_) + " vertices");
          }
          return cloud_.reject(path_, "vertex " + std::to_string(i + 1) + " at line " +
                                          std::to_string(scanner.lineNumber()) + " does not match the header");
        }
      }
      if (!store(i, value)) return false;
    }
    return true;
  }

  PointCloud& cloud_;
  const std::string& path_;
  std::string_view text_;
  bool zUp_;
  PlyLayout layout_;
  size_t vertexIndex_ = 0;
  VertexFields fields_;
  uint32_t n_ = 0;
};

}  // namespace

bool PointCloud::readPly(const std::string& path, const LoadOptions& options) {
  FileBytes text;
  return readCloudFile(path, &text) && parsePly(path, text.view(), options);
}

bool PointCloud::parsePly(const std::string& path, std::string_view text, const LoadOptions& options) {
  reset();
  const char* name = path.c_str();

  PlyHeader header;
  std::string problem;
  if (!parsePlyHeader(text, &header, &problem)) return reject(path, problem);
  if (options.up != UpAxis::FromFormat || !isOwnLayout(header)) {
    return AnyPlyReader(*this, path, text, options).read();
  }
  frame.sign[0] = -1.0;  // the file's X axis is mirrored
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
