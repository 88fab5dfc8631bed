#include "synthetic_leaves.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <functional>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct LeafVertex {
  double x, y, z, u, v;
};

struct LeafMesh {
  std::vector<LeafVertex> vertices;
  std::vector<int> triangles;  // three indices per triangle

  int add(double x, double y, double z) {
    vertices.push_back({x, y, z, 0.0, 0.0});
    return static_cast<int>(vertices.size()) - 1;
  }
  void triangle(int a, int b, int c) { triangles.insert(triangles.end(), {a, b, c}); }
};

// A blade along a straight midrib from (baseX, baseY) at angle (radians, from +y towards -x),
// length long, half-width width(t) for t in 0..1 (zero at both ends), folded a little
// along the midrib. Rows 1 .. rows-1 hold left, midrib and right vertices.
void addBlade(LeafMesh* mesh, double baseX, double baseY, double angle, double len,
              const std::function<double(double)>& width, int rows, double fold) {
  double ax = -std::sin(angle), ay = std::cos(angle);  // midrib direction
  double px = ay, py = -ax;                            // towards the right-hand edge
  auto place = [&](double t, double side) {
    double along = t * len;
    double z = fold * std::fabs(side) - 0.04 * len * std::sin(kPi * t);
    return mesh->add(baseX + ax * along + px * side, baseY + ay * along + py * side, z);
  };
  int base = place(0.0, 0.0);
  int prevL = base, prevM = base, prevR = base;
  for (int i = 1; i < rows; ++i) {
    double t = static_cast<double>(i) / rows;
    double w = width(t);
    int l = place(t, -w), m = place(t, 0.0), r = place(t, w);
    if (i == 1) {
      mesh->triangle(base, m, l);
      mesh->triangle(base, r, m);
    } else {
      mesh->triangle(prevL, prevM, m);
      mesh->triangle(prevL, m, l);
      mesh->triangle(prevM, prevR, r);
      mesh->triangle(prevM, r, m);
    }
    prevL = l, prevM = m, prevR = r;
  }
  int apex = place(1.0, 0.0);
  mesh->triangle(prevL, prevM, apex);
  mesh->triangle(prevM, prevR, apex);
}

// A star-shaped blade: a fan from an inner centre to the outline points (counter-clockwise).
void addFan(LeafMesh* mesh, double cx, double cy, const std::vector<std::pair<double, double>>& outline) {
  int centre = mesh->add(cx, cy, 0.03);
  int first = static_cast<int>(mesh->vertices.size());
  for (const auto& p : outline) {
    double d = std::hypot(p.first - cx, p.second - cy);
    mesh->add(p.first, p.second, -0.05 * d * d);
  }
  int n = static_cast<int>(outline.size());
  for (int k = 0; k < n; ++k) mesh->triangle(centre, first + k, first + (k + 1) % n);
}

// An outline r(phi) around (cx, cy), with phi measured from +x counter-clockwise, starting
// at the bottom (phi = -90 degrees) where the stem joins.
std::vector<std::pair<double, double>> polarOutline(double cx, double cy, const std::function<double(double)>& r,
                                                    int samples) {
  std::vector<std::pair<double, double>> outline;
  for (int k = 0; k < samples; ++k) {
    double phi = -0.5 * kPi + 2.0 * kPi * k / samples;
    outline.push_back({cx + r(phi) * std::cos(phi), cy + r(phi) * std::sin(phi)});
  }
  return outline;
}

// Texture coordinates from the blade's bounding box.
void fitTexture(LeafMesh* mesh) {
  double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
  for (const LeafVertex& v : mesh->vertices) {
    minX = std::fmin(minX, v.x), maxX = std::fmax(maxX, v.x);
    minY = std::fmin(minY, v.y), maxY = std::fmax(maxY, v.y);
  }
  for (LeafVertex& v : mesh->vertices) {
    v.u = (v.x - minX) / (maxX - minX);
    v.v = (v.y - minY) / (maxY - minY);
  }
}

struct LeafStyle {
  int branch[3];
  int leaf[3];
  double stem[3];
  double scale;
  double stemLength;
  double stemWidth;
};

void appendf(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void appendf(std::string* out, const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  out->append(buffer);
}

std::string writeLeafFile(const LeafStyle& style, LeafMesh mesh) {
  fitTexture(&mesh);
  const int stemPoints = 4;
  std::string text;
  appendf(&text, "%d %d %d\n", style.branch[0], style.branch[1], style.branch[2]);
  appendf(&text, "%d %d %d\n", style.leaf[0], style.leaf[1], style.leaf[2]);
  appendf(&text, "%.2f %.2f %.2f\n", style.stem[0], style.stem[1], style.stem[2]);
  appendf(&text, "%.3f\n", style.scale);
  appendf(&text, "%d %zu %zu\n", stemPoints, mesh.vertices.size(), mesh.triangles.size() / 3);
  for (int i = 0; i < stemPoints; ++i) {
    double t = static_cast<double>(i) / (stemPoints - 1);
    double width = style.stemWidth * (1.0 - 0.4 * t);
    appendf(&text, "%d %.4f %.4f %.4f %.4f\n", i, 0.0, t * style.stemLength, 0.02 * std::sin(kPi * t), width);
  }
  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    const LeafVertex& v = mesh.vertices[i];
    appendf(&text, "%zu %.4f %.4f %.4f %.4f %.4f\n", i, v.x, v.y, v.z, v.u, v.v);
  }
  for (size_t i = 0; i < mesh.triangles.size() / 3; ++i) {
    appendf(&text, "%zu %d %d %d\n", i, mesh.triangles[3 * i], mesh.triangles[3 * i + 1], mesh.triangles[3 * i + 2]);
  }
  return text;
}

LeafModelFile ovate() {
  LeafStyle style{{88, 62, 40}, {62, 140, 48}, {0.35, 0.50, 0.20}, 1.0, 0.25, 0.035};
  LeafMesh mesh;
  addBlade(
      &mesh, 0.0, style.stemLength, 0.0, 0.75, [](double t) { return 0.26 * std::sin(kPi * std::pow(t, 0.7)); }, 12,
      0.12);
  return {"00_ovate.leaf", writeLeafFile(style, mesh)};
}

LeafModelFile oakLobed() {
  LeafStyle style{{84, 66, 48}, {70, 118, 40}, {0.40, 0.42, 0.18}, 1.0, 0.15, 0.04};
  LeafMesh mesh;
  auto width = [](double t) {
    double envelope = 0.28 * std::sin(kPi * std::pow(t, 0.85));
    double lobes = 0.7 + 0.3 * std::cos(2.0 * kPi * 4.5 * t);
    return envelope * lobes;
  };
  addBlade(&mesh, 0.0, style.stemLength, 0.0, 0.85, width, 28, 0.08);
  return {"01_oak_lobed.leaf", writeLeafFile(style, mesh)};
}

LeafModelFile maple() {
  LeafStyle style{{102, 78, 60}, {170, 120, 40}, {0.55, 0.30, 0.15}, 1.0, 0.35, 0.03};
  LeafMesh mesh;
  const double lobes[5] = {90.0, 35.0, 145.0, -15.0, 195.0};
  auto radius = [&](double phi) {
    double r = 0.2;
    for (double lobe : lobes) {
      double d = std::remainder(phi - lobe * kPi / 180.0, 2.0 * kPi);
      r += (lobe == 90.0 ? 0.3 : 0.22) * std::exp(-(d / 0.34) * (d / 0.34));
    }
    return r;
  };
  double cy = style.stemLength + radius(-0.5 * kPi);
  addFan(&mesh, 0.0, cy, polarOutline(0.0, cy, radius, 72));
  return {"02_maple.leaf", writeLeafFile(style, mesh)};
}

LeafModelFile heart() {
  LeafStyle style{{76, 60, 52}, {58, 150, 70}, {0.30, 0.55, 0.25}, 1.0, 0.3, 0.03};
  LeafMesh mesh;
  // The classic heart curve, turned so the notch is at the bottom (at the stem) and the tip up.
  const double unitScale = 0.55 / 22.0;  // curve spans y from -5 (notch) to 17 (tip)
  std::vector<std::pair<double, double>> outline;
  const int samples = 64;
  for (int k = 0; k < samples; ++k) {
    double t = 2.0 * kPi * k / samples;
    double x = 16.0 * std::pow(std::sin(t), 3.0);
    double y = -(13.0 * std::cos(t) - 5.0 * std::cos(2 * t) - 2.0 * std::cos(3 * t) - std::cos(4 * t));
    outline.push_back({x * unitScale, style.stemLength + (y + 5.0) * unitScale});
  }
  addFan(&mesh, 0.0, style.stemLength + 8.0 * unitScale, outline);
  return {"03_heart.leaf", writeLeafFile(style, mesh)};
}

LeafModelFile needles() {
  LeafStyle style{{70, 52, 40}, {40, 96, 56}, {0.45, 0.40, 0.25}, 1.2, 0.12, 0.03};
  LeafMesh mesh;
  const int count = 9;
  for (int i = 0; i < count; ++i) {
    double angle = (-40.0 + 80.0 * i / (count - 1)) * kPi / 180.0;
    addBlade(
        &mesh, 0.0, style.stemLength, angle, 0.7, [](double t) { return 0.018 * std::sin(kPi * std::sqrt(t)); }, 3,
        0.0);
  }
  return {"04_needles.leaf", writeLeafFile(style, mesh)};
}

LeafModelFile round() {
  LeafStyle style{{110, 96, 84}, {96, 160, 60}, {0.35, 0.55, 0.25}, 1.0, 0.3, 0.03};
  LeafMesh mesh;
  const double r = 0.33;
  addFan(&mesh, 0.0, style.stemLength + r,
         polarOutline(
             0.0, style.stemLength + r, [&](double) { return r; }, 40));
  return {"05_round.leaf", writeLeafFile(style, mesh)};
}

LeafModelFile lanceolate() {
  LeafStyle style{{96, 84, 70}, {110, 150, 70}, {0.40, 0.50, 0.25}, 1.0, 0.1, 0.025};
  LeafMesh mesh;
  addBlade(
      &mesh, 0.0, style.stemLength, 0.0, 0.95, [](double t) { return 0.09 * std::sin(kPi * std::pow(t, 0.6)); }, 14,
      0.05);
  return {"06_lanceolate.leaf", writeLeafFile(style, mesh)};
}

}  // namespace

std::vector<LeafModelFile> makeLeafModels() {
  return {ovate(), oakLobed(), maple(), heart(), needles(), round(), lanceolate()};
}
