#pragma once
// Small real clouds and model folders for the application tests.

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "support/test_support.h"

// A trunk 6 m high forking into three limbs, as a five-column text cloud (x y z 0 ground,
// z up): points on the surfaces of the four cylinders, pointsPerMetre per metre of each.
inline std::string syntheticTreeText(int pointsPerMetre = 60, const std::string& header = "") {
  const double limbs[4][7] = {
      {0, 0, 0, 0, 0, 6, 0.25}, {0, 0, 6, 0.3, 0.2, 10, 0.15}, {0, 0, 4, 3, 0, 7, 0.1}, {0, 0, 5, -2.5, -1.5, 8, 0.1}};
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::string text = header;
  for (const auto& c : limbs) {
    const double d[3] = {c[3] - c[0], c[4] - c[1], c[5] - c[2]};
    const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]), horizontal = std::hypot(d[0], d[1]);
    // u, v: unit vectors across the axis.
    const double u[3] = {horizontal > 0 ? -d[1] / horizontal : 1, horizontal > 0 ? d[0] / horizontal : 0, 0};
    const double v[3] = {(d[1] * u[2] - d[2] * u[1]) / len, (d[2] * u[0] - d[0] * u[2]) / len,
                         (d[0] * u[1] - d[1] * u[0]) / len};
    const int n = static_cast<int>(len * pointsPerMetre * (c[6] > 0.2 ? 4 : 2));
    for (int i = 0; i < n; ++i) {
      const double t = unit(rng), phi = unit(rng) * 2 * M_PI, a = c[6] * std::cos(phi), b = c[6] * std::sin(phi);
      char line[160];
      std::snprintf(line, sizeof line, "%.4f %.4f %.4f 0 0\n", c[0] + d[0] * t + a * u[0] + b * v[0],
                    c[1] + d[1] * t + a * u[1] + b * v[1], c[2] + d[2] * t + a * u[2] + b * v[2]);
      text += line;
    }
  }
  return text;
}

// Changes the working folder for the lifetime of the object.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& path) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~WorkingFolder() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

// A working folder whose data/ holds the given point models, the bundled leaf models and an
// empty tree_model folder.
inline void makeModelFolders(const TempDir& dir, int pointModels, int pointsPerMetre = 20) {
  std::filesystem::create_directories(dir.file("data/tree_model"));
  std::filesystem::create_directory_symlink(std::string(FRONDAREL_SOURCE_DIR) + "/data/leaf_model",
                                            dir.file("data/leaf_model"));
  for (int i = 0; i < pointModels; ++i)
    dir.write("data/point_model/m" + std::to_string(i) + ".txt", syntheticTreeText(pointsPerMetre));
}
