// The LAS reader on arbitrary bytes: every header field, version and point format.
#include <string_view>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  silenceStdout();
  resetSettingsToStartValues();
  PointCloud cloud;
  const bool loaded = cloud.parseLas("fuzz.las", std::string_view(reinterpret_cast<const char*>(data), size));
  checkCloud(cloud, loaded);
  return 0;
}
