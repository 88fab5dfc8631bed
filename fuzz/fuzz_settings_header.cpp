// The model-file settings header: whatever it holds, every setting stays within its range
// and the scanner stays inside the text.
#include <string_view>

#include "fuzz_support.h"
#include "pointcloud/text_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  silenceStdout();
  resetSettingsToStartValues();
  TextScanner scanner(std::string_view(reinterpret_cast<const char*>(data), size));
  readSettingsHeader(scanner, kPlyHeaderLines, "fuzz");
  FUZZ_CHECK(scanner.position() <= size);
  checkSettingsInRange();
  return 0;
}
