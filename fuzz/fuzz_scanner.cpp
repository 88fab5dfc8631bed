// The fast number scanner against the C library: readDouble must accept what sscanf "%lf"
// accepts, give the same value and consume the same characters; readLong the same for "%ld".
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "pointcloud/text_scanner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // sscanf stops at a NUL byte; the scanner would read past it, so the text ends there.
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
  {
    TextScanner scanner(text);
    double mine = 0.0, theirs = 0.0;
    int consumed = -1;
    const bool ok = scanner.readDouble(&mine);
    const bool libraryOk = std::sscanf(text.c_str(), "%lf%n", &theirs, &consumed) == 1;
    FUZZ_CHECK(ok == libraryOk);
    if (ok) {
      FUZZ_CHECK(scanner.position() == static_cast<size_t>(consumed));
      FUZZ_CHECK((std::isnan(mine) && std::isnan(theirs)) || std::memcmp(&mine, &theirs, sizeof mine) == 0);
    }
  }
  {
    TextScanner scanner(text);
    long mine = 0, theirs = 0;
    int consumed = -1;
    const bool ok = scanner.readLong(&mine);
    const bool libraryOk = std::sscanf(text.c_str(), "%ld%n", &theirs, &consumed) == 1;
    FUZZ_CHECK(ok == libraryOk);
    if (ok) FUZZ_CHECK(mine == theirs && scanner.position() == static_cast<size_t>(consumed));
  }
  return 0;
}
