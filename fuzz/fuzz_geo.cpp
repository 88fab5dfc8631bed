// The geo-referenced reader (latitude, longitude to UTM) on an arbitrary file.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  silenceStdout();
  resetSettingsToStartValues();
  MemoryFile file(data, size);
  PointCloud cloud;
  const bool loaded = cloud.readGeoCloud(file.path());
  checkCloud(cloud, loaded);
  FUZZ_CHECK(std::isfinite(g_dModelLongitude) && std::isfinite(g_dModelLatitude));
  return 0;
}
