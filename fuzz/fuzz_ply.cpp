// The PLY reader (ASCII with its settings header, and binary of either byte order) on
// arbitrary bytes.
#include <string_view>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  silenceStdout();
  resetSettingsToStartValues();
  PointCloud cloud;
  const bool loaded = cloud.parsePly("fuzz.ply", std::string_view(reinterpret_cast<const char*>(data), size));
  checkCloud(cloud, loaded);
  checkSettingsInRange();
  return 0;
}
