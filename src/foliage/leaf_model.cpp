// Reading of leaf-model files: colours, a scale, a stem polyline and a blade mesh, as
// whitespace-separated numbers. The file is parsed into temporaries and committed to the
// model and the colour settings only when it is complete and consistent.

#include <sys/stat.h>

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "tree/tree_model.h"

namespace {

// A count above this is taken as a damaged file rather than a leaf.
constexpr long kMaxRecordCount = 1000000;
// A token longer than this cannot be a number of the format.
constexpr size_t kMaxTokenLength = 256;

std::string formatted(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

// Whitespace-separated tokens of an open file, read in blocks, with the line of each token.
class TokenReader {
 public:
  explicit TokenReader(std::FILE* file) : file_(file) {}

  // Next token; false at the end of the file, on a read error or on an overlong token
  // (see failure()).
  bool next(std::string& token) {
    token.clear();
    int c = skipSpace();
    if (c == EOF) return false;
    tokenLine_ = line_;
    while (c != EOF && !isSpace(c)) {
      if (token.size() == kMaxTokenLength) {
        failure_ = formatted("line %d: token longer than %zu characters", tokenLine_, kMaxTokenLength);
        return false;
      }
      token.push_back(static_cast<char>(c));
      c = get();
    }
    if (c == '\n') ++line_;
    return true;
  }

  int tokenLine() const { return tokenLine_; }
  // Bytes of the file not yet read as tokens, given the file's size.
  size_t bytesLeft(size_t fileSize) const {
    const size_t consumed = read_ - (size_ - pos_);
    return fileSize > consumed ? fileSize - consumed : 0;
  }
  // Empty unless reading stopped for a reason other than the end of the file.
  const std::string& failure() const { return failure_; }

 private:
  static bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

  int skipSpace() {
    int c = get();
    while (c != EOF && isSpace(c)) {
      if (c == '\n') ++line_;
      c = get();
    }
    return c;
  }

  int get() {
    if (pos_ == size_) {
      size_ = std::fread(buffer_, 1, sizeof buffer_, file_);
      read_ += size_;
      pos_ = 0;
      if (size_ == 0) {
        if (std::ferror(file_)) failure_ = "read error";
        return EOF;
      }
    }
    return static_cast<unsigned char>(buffer_[pos_++]);
  }

  std::FILE* file_;
  char buffer_[65536];
  size_t size_ = 0;
  size_t pos_ = 0;
  size_t read_ = 0;
  int line_ = 1;
  int tokenLine_ = 1;
  std::string failure_;
};

// Typed reads over a TokenReader; the first failure is kept as a message naming the line
// and the field, and every later read fails too.
class LeafModelParser {
 public:
  explicit LeafModelParser(TokenReader& tokens) : tokens_(tokens) {}

  bool readDouble(const char* field, double& value) {
    if (!nextToken(field)) return false;
    errno = 0;
    char* endPtr = nullptr;
    value = std::strtod(token_.c_str(), &endPtr);
    if (endPtr == token_.c_str() || *endPtr != '\0') return fail("expected a number for %s, found \"%s\"", field);
    if (!std::isfinite(value)) return fail("%s is not a finite number (\"%s\")", field);
    return true;
  }

  bool readInt(const char* field, long& value) {
    if (!nextToken(field)) return false;
    errno = 0;
    char* endPtr = nullptr;
    value = std::strtol(token_.c_str(), &endPtr, 10);
    if (endPtr == token_.c_str() || *endPtr != '\0') return fail("expected an integer for %s, found \"%s\"", field);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX) return fail("%s is out of range (\"%s\")", field);
    return true;
  }

  // A record count: an integer in 0 ... kMaxRecordCount.
  bool readCount(const char* field, size_t& count) {
    long value = 0;
    if (!readInt(field, value)) return false;
    if (value < 0) return fail("%s is negative (\"%s\")", field);
    if (value > kMaxRecordCount) return fail("%s is too large (\"%s\", at most 1000000)", field);
    count = static_cast<size_t>(value);
    return true;
  }

  // A value multiplied by the file scale, which must stay finite.
  bool readScaled(const char* field, double scale, double& value) {
    if (!readDouble(field, value)) return false;
    value *= scale;
    if (!std::isfinite(value)) return fail("%s times the scale is not finite (\"%s\")", field);
    return true;
  }

  bool readColour(const char* field, float& value) {
    double wide = 0.0;
    if (!readDouble(field, wide)) return false;
    if (std::fabs(wide) > FLT_MAX) return fail("%s does not fit a float (\"%s\")", field);
    value = static_cast<float>(wide) / 255.0f;
    return true;
  }

  // Message naming the line of the last token; the caller names the file.
  bool fail(const char* format, const char* field) {
    if (error_.empty()) {
      error_ = formatted("line %d: ", tokens_.tokenLine()) + formatted(format, field, token_.c_str());
    }
    return false;
  }

  const std::string& error() const { return error_; }

 private:
  bool nextToken(const char* field) {
    if (!error_.empty()) return false;
    if (tokens_.next(token_)) return true;
    if (!tokens_.failure().empty()) {
      error_ = tokens_.failure();
    } else {
      error_ = formatted("file ends before %s", field);
    }
    return false;
  }

  TokenReader& tokens_;
  std::string token_;
  std::string error_;
};

// Everything a leaf-model file holds, before it is committed.
struct LeafModelData {
  float branchColor[3] = {0, 0, 0};
  float leafColor[3] = {0, 0, 0};
  Vec3 stemColor;
  std::vector<Vec3> stemPoints;
  std::vector<double> stemWidths;
  std::vector<Vec3> leafVertices;
  std::vector<double> leafTexCoords;
  std::vector<int> leafTriangles;
  std::vector<Vec3> leafNormals;
};

bool readScaledPoint(LeafModelParser& parser, const char* field, double scale, Vec3& p) {
  return parser.readScaled(field, scale, p.x) && parser.readScaled(field, scale, p.y) &&
         parser.readScaled(field, scale, p.z);
}

bool readStem(LeafModelParser& parser, double scale, size_t count, LeafModelData& data) {
  data.stemPoints.resize(count);
  data.stemWidths.resize(count);
  long ignored = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!parser.readInt("a stem record number", ignored) ||
        !readScaledPoint(parser, "a stem point", scale, data.stemPoints[i]) ||
        !parser.readScaled("a stem width", scale, data.stemWidths[i])) {
      return false;
    }
  }
  return true;
}

bool readVertices(LeafModelParser& parser, double scale, size_t count, LeafModelData& data) {
  data.leafVertices.resize(count);
  data.leafTexCoords.resize(2 * count);
  long ignored = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!parser.readInt("a vertex record number", ignored) ||
        !readScaledPoint(parser, "a vertex", scale, data.leafVertices[i]) ||
        !parser.readDouble("a texture coordinate", data.leafTexCoords[2 * i]) ||
        !parser.readDouble("a texture coordinate", data.leafTexCoords[2 * i + 1])) {
      return false;
    }
  }
  return true;
}

bool readTriangles(LeafModelParser& parser, size_t count, LeafModelData& data) {
  data.leafTriangles.resize(3 * count);
  const long vertexCount = static_cast<long>(data.leafVertices.size());
  long value = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!parser.readInt("a triangle record number", value)) return false;
    for (int k = 0; k < 3; ++k) {
      if (!parser.readInt("a triangle index", value)) return false;
      if (value < 0 || value >= vertexCount)
        return parser.fail("%s is outside the vertex block (\"%s\")", "a triangle index");
      data.leafTriangles[3 * i + k] = static_cast<int>(value);
    }
  }
  return true;
}

// Each record is a run of numbers of at least one character and a separator: 5 per stem
// point, 6 per vertex, 4 per triangle. Counts the rest of the file cannot hold are refused
// before anything is allocated for them.
bool countsFitTheFile(LeafModelParser& parser, const TokenReader& tokens, size_t fileSize, size_t stems,
                      size_t vertices, size_t triangles) {
  const size_t needed = 10 * stems + 12 * vertices + 8 * triangles;
  const size_t left = tokens.bytesLeft(fileSize);
  if (needed <= left + 1) return true;
  const std::string counts = formatted("%zu stem points, ", stems) + formatted("%zu vertices and ", vertices) +
                             formatted("%zu triangles", triangles);
  return parser.fail(("the counts declare %s, more than the " + std::to_string(left) + " bytes left can hold").c_str(),
                     counts.c_str());
}

bool parseLeafModel(TokenReader& tokens, size_t fileSize, LeafModelData& data, std::string& error) {
  LeafModelParser parser(tokens);
  double scale = 1.0;
  size_t stemCount = 0, vertexCount = 0, triangleCount = 0;
  bool ok = parser.readColour("the branch colour", data.branchColor[0]) &&
            parser.readColour("the branch colour", data.branchColor[1]) &&
            parser.readColour("the branch colour", data.branchColor[2]) &&
            parser.readColour("the leaf colour", data.leafColor[0]) &&
            parser.readColour("the leaf colour", data.leafColor[1]) &&
            parser.readColour("the leaf colour", data.leafColor[2]) &&
            parser.readDouble("the stem colour", data.stemColor.x) &&
            parser.readDouble("the stem colour", data.stemColor.y) &&
            parser.readDouble("the stem colour", data.stemColor.z) && parser.readDouble("the scale", scale) &&
            parser.readCount("the stem point count", stemCount) && parser.readCount("the vertex count", vertexCount) &&
            parser.readCount("the triangle count", triangleCount) &&
            countsFitTheFile(parser, tokens, fileSize, stemCount, vertexCount, triangleCount) &&
            readStem(parser, scale, stemCount, data) && readVertices(parser, scale, vertexCount, data) &&
            readTriangles(parser, triangleCount, data);
  if (!ok) error = parser.error();
  return ok;
}

// b - a at half scale, which cannot overflow for finite coordinates.
Vec3 halfEdge(const Vec3& a, const Vec3& b) {
  return b * 0.5 - a * 0.5;
}

// Scales both edges by one power of two so that their largest component lies in [0.5, 1):
// exact, so the normal's direction is unchanged, and the cross product neither overflows
// nor underflows.
void rescaleEdges(Vec3& e1, Vec3& e2) {
  double largest = std::fmax(std::fmax(std::fmax(std::fabs(e1.x), std::fabs(e1.y)), std::fabs(e1.z)),
                             std::fmax(std::fmax(std::fabs(e2.x), std::fabs(e2.y)), std::fabs(e2.z)));
  if (largest == 0.0) return;
  int exponent = 0;
  std::frexp(largest, &exponent);
  for (Vec3* e : {&e1, &e2}) {
    e->x = std::ldexp(e->x, -exponent);
    e->y = std::ldexp(e->y, -exponent);
    e->z = std::ldexp(e->z, -exponent);
  }
}

// Unit normal of the triangle (a, b, c) by the right-hand rule; (0, 0, 0) for an invalid
// vertex or a zero-area triangle.
Vec3 triangleNormal(const Vec3& a, const Vec3& b, const Vec3& c) {
  if (!a.valid() || !b.valid() || !c.valid()) return Vec3(0, 0, 0);
  Vec3 e1 = halfEdge(a, b), e2 = halfEdge(a, c);
  rescaleEdges(e1, e2);
  Vec3 n = cross(e1, e2);
  double len = length(n);
  if (len == 0.0) return Vec3(0, 0, 0);
  return n / len;
}

void computeNormals(LeafModelData& data) {
  const size_t triangles = data.leafTriangles.size() / 3;
  data.leafNormals.resize(triangles);
  for (size_t t = 0; t < triangles; ++t) {
    const int* index = &data.leafTriangles[3 * t];
    data.leafNormals[t] =
        triangleNormal(data.leafVertices[index[0]], data.leafVertices[index[1]], data.leafVertices[index[2]]);
  }
}

void commit(LeafModelData& data, TreeModel& model) {
  for (int k = 0; k < 3; ++k) {
    g_fBranchColor[k] = data.branchColor[k];
    g_fLeafColor[k] = data.leafColor[k];
  }
  model.stemColor = data.stemColor;
  model.stemPoints.swap(data.stemPoints);
  model.stemWidths.swap(data.stemWidths);
  model.leafVertices.swap(data.leafVertices);
  model.leafTexCoords.swap(data.leafTexCoords);
  model.leafTriangles.swap(data.leafTriangles);
  model.leafNormals.swap(data.leafNormals);
}

}  // namespace

bool TreeModel::loadLeafModel(const std::string& path, std::string* reason) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    if (reason) *reason = formatted("cannot open leaf model file %s", path.c_str());
    return false;
  }
  // Only a regular file has a size to check the declared counts against (a device may never end).
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fclose(file);
    if (reason) *reason = formatted("leaf model file %s is not a regular file", path.c_str());
    return false;
  }
  TokenReader tokens(file);
  LeafModelData data;
  std::string error;
  bool ok = parseLeafModel(tokens, static_cast<size_t>(info.st_size), data, error);
  std::fclose(file);
  if (!ok) {
    if (reason) *reason = formatted("leaf model file %s: ", path.c_str()) + error;
    return false;
  }
  computeNormals(data);
  commit(data, *this);
  return true;
}
