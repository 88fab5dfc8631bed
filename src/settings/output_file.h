#pragma once
// Output files that appear whole or not at all. The content goes to a temporary file in the
// target's folder, which is renamed over the target only when every byte has been written
// and flushed, so a full disk, a quota or a file-size limit leaves the earlier file as it
// was. Every output of the program (tree exports, run summaries, captured frames) is
// written this way.

#include <cstddef>
#include <cstdio>
#include <string>

class AtomicOutputFile {
 public:
  AtomicOutputFile() = default;
  ~AtomicOutputFile();  // an uncommitted file is discarded
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

  // Creates the temporary file beside path (the folder must exist). False with a reason.
  bool open(const std::string& path, std::string* error);
  // The stream to write to; null unless open.
  std::FILE* stream() const { return file_; }
  // Flushes (and with durable, syncs to the disk), closes and renames the temporary file
  // over the target. On any failure the temporary file is removed, the target is left as
  // it was, and the reason names the target and the system's error.
  bool commit(std::string* error, bool durable = true);
  // Closes and removes the temporary file; the target is untouched.
  void discard();

 private:
  std::string target_;
  std::string temporary_;
  std::FILE* file_ = nullptr;
};

// Makes the folder path lies in, when missing, as the tree export does.
void makeParentFolder(const std::string& path);

// Writes size bytes to path through an AtomicOutputFile. False with a reason.
bool writeFileAtomically(const std::string& path, const void* data, size_t size, std::string* error,
                         bool durable = true);
