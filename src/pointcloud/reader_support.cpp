#include "pointcloud/reader_support.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pthread.h>

#include <new>

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

namespace {

struct PageRange {
  void* begin;
  size_t bytes;
};

void* populate(void* range) {
#ifdef MADV_POPULATE_WRITE
  const PageRange* r = static_cast<const PageRange*>(range);
  madvise(r->begin, r->bytes, MADV_POPULATE_WRITE);
#else
  (void)range;
#endif
  return nullptr;
}

// Asks for huge pages over the whole 2 MB pages of [p, p + bytes) and has them cleared now,
// half by a helper thread (all by this one when no thread can be started).
void prepareHugePages(const void* p, size_t bytes) {
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  if (bytes < 4 * kHugePage) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHugePage - 1);
  if (end <= begin) return;
  madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  const uintptr_t middle = begin + ((end - begin) / 2 & ~(kHugePage - 1));
  PageRange low{reinterpret_cast<void*>(begin), middle - begin}, high{reinterpret_cast<void*>(middle), end - middle};
  pthread_t helper;
  const bool started = pthread_create(&helper, nullptr, populate, &high) == 0;
  populate(&low);
  if (started) {
    pthread_join(helper, nullptr);
  } else {
    populate(&high);
  }
}

void prepare(std::vector<PointRecord>& records, size_t n) {
  records.reserve(n);
  prepareHugePages(records.data(), n * sizeof(PointRecord));
  records.assign(n, PointRecord());
}

}  // namespace

bool allocateRecords(PointCloud& cloud, const std::string& path, size_t n, bool withColours) {
  try {
    prepare(cloud.points, n + kSpareRecords);
    if (withColours) prepare(cloud.colours, n + kSpareRecords);
  } catch (const std::bad_alloc&) {
    return cloud.reject(path, "there is not enough memory for " + std::to_string(n) + " points");
  }
  return true;
}
