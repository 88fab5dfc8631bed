#include "pointcloud/reader_support.h"

#include "pointcloud/text_scanner.h"

size_t lineAt(std::string_view text, size_t position) {
  TextScanner scanner(text);
  scanner.seek(position);
  return scanner.lineNumber();
}
