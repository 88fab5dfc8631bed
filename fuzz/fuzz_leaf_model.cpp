// The leaf-model reader on an arbitrary file: a loaded model is consistent and finite, a
// refused one is left untouched with a reason.
#include "fuzz_support.h"
#include "tree/tree_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  silenceStdout();
  MemoryFile file(data, size);
  TreeModel model;
  std::string reason;
  const bool ok = model.loadLeafModel(file.path(), &reason);
  if (!ok) {
    FUZZ_CHECK(!reason.empty());
    FUZZ_CHECK(model.stemPoints.empty() && model.leafVertices.empty() && model.leafTriangles.empty());
    return 0;
  }
  const size_t vertices = model.leafVertices.size();
  FUZZ_CHECK(model.stemWidths.size() == model.stemPoints.size());
  FUZZ_CHECK(model.leafTexCoords.size() == 2 * vertices);
  FUZZ_CHECK(model.leafTriangles.size() % 3 == 0 && model.leafNormals.size() == model.leafTriangles.size() / 3);
  for (int index : model.leafTriangles) FUZZ_CHECK(index >= 0 && static_cast<size_t>(index) < vertices);
  for (const Vec3& v : model.leafVertices) FUZZ_CHECK(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
  for (const Vec3& v : model.stemPoints) FUZZ_CHECK(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
  for (const Vec3& n : model.leafNormals) FUZZ_CHECK(std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z));
  for (double w : model.stemWidths) FUZZ_CHECK(std::isfinite(w));
  for (int k = 0; k < 3; ++k) FUZZ_CHECK(std::isfinite(g_fBranchColor[k]) && std::isfinite(g_fLeafColor[k]));
  return 0;
}
