#include "pointcloud/reader_support.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "pointcloud/text_scanner.h"

size_t lineAt(std::string_view text, size_t position) {
  TextScanner scanner(text);
  scanner.seek(position);
  return scanner.lineNumber();
}

bool FileBytes::open(const std::string& path) {
  release();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return false;
  }
  if (S_ISREG(info.st_mode) && info.st_size > 0) {
    const size_t size = static_cast<size_t>(info.st_size);
    void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    ::close(fd);
    if (map != MAP_FAILED) {
      map_ = map;
      size_ = size;
      return true;
    }
  } else {
    ::close(fd);
  }
  return readWholeFile(path, &copy_);
}

void FileBytes::release() {
  if (map_) munmap(map_, size_);
  map_ = nullptr;
  size_ = 0;
  std::string().swap(copy_);
}

void adviseHugePages(const void* p, size_t bytes) {
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  if (bytes < 4 * kHugePage) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHugePage - 1);
  if (end <= begin) return;
  madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
  // The kernel clears every new page; two threads share that work.
  const uintptr_t middle = begin + ((end - begin) / 2 & ~(kHugePage - 1));
  std::thread helper([=] { madvise(reinterpret_cast<void*>(middle), end - middle, MADV_POPULATE_WRITE); });
  madvise(reinterpret_cast<void*>(begin), middle - begin, MADV_POPULATE_WRITE);
  helper.join();
#endif
}
