#ifndef DORVEX_PLATFORM_MEMORY_FILES_H_
#define DORVEX_PLATFORM_MEMORY_FILES_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/files.h"

namespace dorvex {

// A host with no file system of its own, as a web page is: one image, whose
// bytes the host keeps and copies in as they are read, and a directory of
// output files held in memory, which the host takes once the run is over. The
// operations are those of platform/files.h, with the same contracts; on such a
// host those plain functions are these, on one store (TheMemoryFiles).
class MemoryFiles {
 public:
  // An output file as it stands.
  struct File {
    const char* name = nullptr;  // nullptr: a slot left by a removed file
    uint8_t* data = nullptr;
    size_t size = 0;
    size_t capacity = 0;
    size_t position = 0;  // where the next write goes
    uint64_t serial = 0;  // never reused: a file's identity
  };

  MemoryFiles() = default;
  ~MemoryFiles() { Clear(); }
  MemoryFiles(const MemoryFiles&) = delete;
  MemoryFiles& operator=(const MemoryFiles&) = delete;

  // Copies up to `length` bytes of the image from `offset` into `dst`;
  // returns the count copied, less only at its end.
  using ImageReader = size_t (*)(void* context, uint64_t offset, uint8_t* dst,
                                 size_t length);

  // Makes `path` name the image, `size` bytes long, which `reader` (given
  // `context`) copies in; the three must outlive every stream opened on it.
  void LendImage(const char* path, uint64_t size, ImageReader reader,
                 void* context);

  // Removes every output file and forgets the image.
  void Clear();

  // A read-only stream on the image when `path` is its name; nullptr else.
  std::FILE* OpenForReading(const char* path) const;
  // Seeks as SeekFile does; a position past the end reads nothing.
  bool Seek(std::FILE* file, int64_t offset) const;
  FileIdentity Identify(std::FILE* file) const;

  NameKind Inspect(const char* name, FileIdentity* identity) const;
  bool Remove(const char* name);
  OutputHandle Create(const char* name, bool* name_taken);
  // Opens the file under `name` when `wanted(identity)` is `want`: the one
  // looked at (want true) or any but the one kept (want false).
  OutputHandle OpenSole(const char* name, const FileIdentity& identity,
                        bool want, uint64_t* size);
  bool Truncate(OutputHandle handle, uint64_t length);
  bool Write(OutputHandle handle, const uint8_t* data, size_t length);
  bool Close(OutputHandle handle);

  // Every slot, a removed file's included (its name nullptr), in the order
  // made: for the host to take the files at the end.
  int32_t SlotCount() const { return count_; }
  const File& Slot(int32_t i) const { return files_[i]; }

 private:
  // The slot of the file under `name`; -1 when none.
  int32_t Find(const char* name) const;
  File* Open(OutputHandle handle);
  // Makes the index of names anew with room for `room` (a power of two);
  // false when there is no memory for it.
  bool Reindex(int32_t room);

  const char* image_path_ = nullptr;
  uint64_t image_size_ = 0;
  ImageReader reader_ = nullptr;
  void* context_ = nullptr;
  File* files_ = nullptr;
  int32_t count_ = 0;
  int32_t room_ = 0;
  // Each name's slot + 1 (0: none) at its hash, probed in turn: a run of
  // thousands of writes over a thousand names looks each up at once.
  int32_t* index_ = nullptr;
  int32_t index_room_ = 0;
  uint64_t next_serial_ = 2;  // 1 is the image's
};

// The store behind platform/files.h on a host built with it.
MemoryFiles& TheMemoryFiles();

}  // namespace dorvex

#endif  // DORVEX_PLATFORM_MEMORY_FILES_H_
