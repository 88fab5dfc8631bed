#include "app_test_data.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>

namespace {

// Points on the surface of a cylinder from a to b (z up), radius r.
void sampleCylinder(std::ostringstream& out, std::mt19937& rng, double ax, double ay, double az, double bx, double by,
                    double bz, double r, int pointsPerMetre) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  double dx = bx - ax, dy = by - ay, dz = bz - az;
  double len = std::sqrt(dx * dx + dy * dy + dz * dz);
  // Two unit vectors perpendicular to the axis.
  double ux = -dy, uy = dx, uz = 0;
  if (std::fabs(dx) < 1e-9 && std::fabs(dy) < 1e-9) ux = 1, uy = 0, uz = 0;
  double ul = std::sqrt(ux * ux + uy * uy + uz * uz);
  ux /= ul, uy /= ul, uz /= ul;
  double vx = (dy * uz - dz * uy) / len, vy = (dz * ux - dx * uz) / len, vz = (dx * uy - dy * ux) / len;
  int n = static_cast<int>(len * pointsPerMetre);
  for (int i = 0; i < n; ++i) {
    double t = unit(rng), phi = unit(rng) * 2 * M_PI;
    double x = ax + dx * t + r * (std::cos(phi) * ux + std::sin(phi) * vx);
    double y = ay + dy * t + r * (std::cos(phi) * uy + std::sin(phi) * vy);
    double z = az + dz * t + r * (std::cos(phi) * uz + std::sin(phi) * vz);
    char line[160];
    std::snprintf(line, sizeof line, "%.4f %.4f %.4f 0 0\n", x, y, z);
    out << line;
  }
}

}  // namespace

std::string syntheticTreeText(int pointsPerMetre, const std::string& header) {
  std::mt19937 rng(42);
  std::ostringstream out;
  out << header;
  sampleCylinder(out, rng, 0, 0, 0, 0, 0, 6, 0.25, pointsPerMetre * 4);
  sampleCylinder(out, rng, 0, 0, 6, 0.3, 0.2, 10, 0.15, pointsPerMetre * 2);
  sampleCylinder(out, rng, 0, 0, 4, 3, 0, 7, 0.1, pointsPerMetre * 2);
  sampleCylinder(out, rng, 0, 0, 5, -2.5, -1.5, 8, 0.1, pointsPerMetre * 2);
  return out.str();
}

std::string exampleLeafModel() {
  return "60 40 20\n40 160 50\n0.3 0.6 0.2\n0.5\n2 3 1\n0 0 0 0 0.04\n1 0 1 0 0.02\n"
         "0 0 1 0 0.5 0\n1 -0.5 2 0 0 1\n2 0.5 2 0 1 1\n0 0 1 2\n";
}

WorkingFolder::WorkingFolder(const std::string& path) {
  char buf[4096];
  if (getcwd(buf, sizeof buf)) previous_ = buf;
  if (chdir(path.c_str()) != 0) std::perror("chdir");
}

WorkingFolder::~WorkingFolder() {
  if (!previous_.empty() && chdir(previous_.c_str()) != 0) std::perror("chdir");
}
