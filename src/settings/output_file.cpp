#include "settings/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

std::string systemError(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

// The mode fopen would give a new file: 0666 less the process's umask.
mode_t newFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

AtomicOutputFile::~AtomicOutputFile() {
  discard();
}

bool AtomicOutputFile::open(const std::string& path, std::string* error) {
  discard();
  target_ = path;
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // A hidden name in the same folder: the rename stays on one file system and is atomic.
  std::string pattern = folder + "." + name + ".partial-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    if (error) *error = systemError("cannot create a temporary file for", path, errno);
    return false;
  }
  temporary_ = pattern;
  fchmod(fd, newFileMode());
  file_ = fdopen(fd, "wb");
  if (!file_) {
    const int saved = errno;
    close(fd);
    discard();
    if (error) *error = systemError("cannot write", path, saved);
    return false;
  }
  return true;
}

bool AtomicOutputFile::commit(std::string* error, bool durable) {
  if (!file_) {
    if (error) *error = "cannot write " + target_ + ": the file is not open";
    return false;
  }
  int failure = 0;
  if (std::fflush(file_) != 0 || std::ferror(file_)) failure = errno ? errno : EIO;
  if (!failure && durable && fsync(fileno(file_)) != 0) failure = errno;
  if (std::fclose(file_) != 0 && !failure) failure = errno ? errno : EIO;
  file_ = nullptr;
  if (!failure && std::rename(temporary_.c_str(), target_.c_str()) != 0) failure = errno;
  if (failure) {
    discard();
    if (error) *error = systemError("cannot write", target_, failure) + "; the previous file is unchanged";
    return false;
  }
  temporary_.clear();
  return true;
}

void AtomicOutputFile::discard() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temporary_.empty()) {
    std::remove(temporary_.c_str());
    temporary_.clear();
  }
}

void makeParentFolder(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code ignored;  // a folder that cannot be made shows when the file is opened
  if (!folder.empty()) std::filesystem::create_directories(folder, ignored);
}

bool writeFileAtomically(const std::string& path, const void* data, size_t size, std::string* error, bool durable) {
  AtomicOutputFile out;
  if (!out.open(path, error)) return false;
  if (size > 0 && std::fwrite(data, 1, size, out.stream()) != size) {
    const int saved = errno;
    out.discard();
    if (error) *error = systemError("cannot write", path, saved) + "; the previous file is unchanged";
    return false;
  }
  return out.commit(error, durable);
}
