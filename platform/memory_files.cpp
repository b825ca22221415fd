// fopencookie, which makes a stdio stream of the image's bytes.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif

#include "platform/memory_files.h"

#include <sys/types.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace dorvex {

namespace {

constexpr uint64_t kVolume = 1;
constexpr uint64_t kImageSerial = 1;

// What a stream on the image reads: who copies its bytes in, its length
// and where it stands.
struct ImageCookie {
  MemoryFiles::ImageReader reader;
  void* context;
  uint64_t size;
  uint64_t position;
};

ssize_t ReadImage(void* cookie, char* dst, size_t wanted) {
  ImageCookie* image = static_cast<ImageCookie*>(cookie);
  const uint64_t left =
      image->position < image->size ? image->size - image->position : 0;
  const size_t most = static_cast<size_t>(SSIZE_MAX);
  size_t count = wanted < left ? wanted : static_cast<size_t>(left);
  if (count > most) count = most;
  if (count == 0) return 0;
  size_t got = image->reader(image->context, image->position,
                             reinterpret_cast<uint8_t*>(dst), count);
  if (got > count) got = count;
  image->position += got;
  return static_cast<ssize_t>(got);
}

// The offset's type is the C library's own (off64_t or off_t).
template <typename Offset>
int SeekImage(void* cookie, Offset* offset, int whence) {
  ImageCookie* image = static_cast<ImageCookie*>(cookie);
  int64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<int64_t>(image->position);
  if (whence == SEEK_END) base = static_cast<int64_t>(image->size);
  const int64_t at = base + static_cast<int64_t>(*offset);
  // Never beyond the end: a read there gives nothing either way, and the
  // position stays within size_t.
  if (*offset < -base || at < 0) return -1;
  image->position = static_cast<uint64_t>(at) < image->size
                        ? static_cast<uint64_t>(at)
                        : image->size;
  *offset = static_cast<Offset>(image->position);
  return 0;
}

int CloseImage(void* cookie) {
  std::free(cookie);
  return 0;
}

uint32_t HashOf(const char* name) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (; *name != '\0'; ++name) {
    hash = (hash ^ static_cast<uint8_t>(*name)) * 16777619u;
  }
  return hash;
}

FileIdentity IdentityOf(uint64_t serial) {
  FileIdentity identity;
  identity.known = true;
  identity.volume = kVolume;
  identity.index = serial;
  return identity;
}

}  // namespace

void MemoryFiles::LendImage(const char* path, uint64_t size, ImageReader reader,
                            void* context) {
  image_path_ = path;
  image_size_ = size;
  reader_ = reader;
  context_ = context;
}

void MemoryFiles::Clear() {
  for (int32_t i = 0; i < count_; ++i) {
    std::free(const_cast<char*>(files_[i].name));
    std::free(files_[i].data);
  }
  std::free(files_);
  std::free(index_);
  files_ = nullptr;
  index_ = nullptr;
  index_room_ = 0;
  count_ = 0;
  room_ = 0;
  LendImage(nullptr, 0, nullptr, nullptr);
}

std::FILE* MemoryFiles::OpenForReading(const char* path) const {
  if (image_path_ == nullptr || reader_ == nullptr ||
      std::strcmp(path, image_path_) != 0) {
    return nullptr;
  }
  ImageCookie* cookie =
      static_cast<ImageCookie*>(std::malloc(sizeof(ImageCookie)));
  if (cookie == nullptr) return nullptr;
  *cookie = ImageCookie{reader_, context_, image_size_, 0};
  cookie_io_functions_t functions = {};
  functions.read = ReadImage;
  functions.seek = SeekImage;
  functions.close = CloseImage;
  std::FILE* file = fopencookie(cookie, "rb", functions);
  if (file == nullptr) std::free(cookie);
  return file;
}

bool MemoryFiles::Seek(std::FILE* file, int64_t offset) const {
  return offset >= 0 && fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

FileIdentity MemoryFiles::Identify(std::FILE* file) const {
  if (file == nullptr) return FileIdentity();
  FileIdentity identity = IdentityOf(kImageSerial);
  identity.size = image_size_;
  return identity;
}

int32_t MemoryFiles::Find(const char* name) const {
  if (index_room_ == 0) return -1;
  const uint32_t mask = static_cast<uint32_t>(index_room_) - 1;
  for (uint32_t at = HashOf(name) & mask;; at = (at + 1) & mask) {
    const int32_t slot = index_[at] - 1;
    if (slot < 0) return -1;
    if (files_[slot].name != nullptr &&
        std::strcmp(files_[slot].name, name) == 0) {
      return slot;
    }
  }
}

bool MemoryFiles::Reindex(int32_t room) {
  int32_t* index = static_cast<int32_t*>(
      std::calloc(static_cast<size_t>(room), sizeof(int32_t)));
  if (index == nullptr) return false;
  std::free(index_);
  index_ = index;
  index_room_ = room;
  const uint32_t mask = static_cast<uint32_t>(room) - 1;
  for (int32_t slot = 0; slot < count_; ++slot) {
    if (files_[slot].name == nullptr) continue;
    uint32_t at = HashOf(files_[slot].name) & mask;
    while (index_[at] != 0) at = (at + 1) & mask;
    index_[at] = slot + 1;
  }
  return true;
}

NameKind MemoryFiles::Inspect(const char* name, FileIdentity* identity) const {
  const int32_t i = Find(name);
  if (i < 0) return NameKind::kNothing;
  if (identity != nullptr) *identity = IdentityOf(files_[i].serial);
  return NameKind::kSoleFile;
}

bool MemoryFiles::Remove(const char* name) {
  const int32_t i = Find(name);
  if (i < 0) return false;
  std::free(const_cast<char*>(files_[i].name));
  std::free(files_[i].data);
  // The slot stays, empty, and is never used again: the index's entry for
  // it marks where probes go on.
  files_[i] = File();
  return true;
}

OutputHandle MemoryFiles::Create(const char* name, bool* name_taken) {
  const bool taken = Find(name) >= 0;
  if (name_taken != nullptr) *name_taken = taken;
  if (taken) return kNoHandle;
  // Half the index stays empty, so that a probe ends soon.
  if (count_ >= index_room_ / 2 &&
      (index_room_ > INT32_MAX / 2 ||
       !Reindex(index_room_ == 0 ? 128 : index_room_ * 2))) {
    return kNoHandle;
  }
  const int32_t slot = count_;
  if (slot == room_) {
    const int32_t room = room_ < 64 ? 64 : room_ * 2;
    void* grown =
        room < room_
            ? nullptr
            : std::realloc(files_, sizeof(File) * static_cast<size_t>(room));
    if (grown == nullptr) return kNoHandle;
    files_ = static_cast<File*>(grown);
    room_ = room;
  }
  const size_t length = std::strlen(name);
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (copy == nullptr) return kNoHandle;
  std::memcpy(copy, name, length + 1);
  ++count_;
  files_[slot] = File();
  files_[slot].name = copy;
  files_[slot].serial = next_serial_++;
  const uint32_t mask = static_cast<uint32_t>(index_room_) - 1;
  uint32_t at = HashOf(copy) & mask;
  while (index_[at] != 0) at = (at + 1) & mask;
  index_[at] = slot + 1;
  return slot;
}

OutputHandle MemoryFiles::OpenSole(const char* name,
                                   const FileIdentity& identity, bool want,
                                   uint64_t* size) {
  const int32_t i = Find(name);
  if (i < 0 || SameFile(IdentityOf(files_[i].serial), identity) != want) {
    return kNoHandle;
  }
  files_[i].position = 0;
  *size = files_[i].size;
  return i;
}

MemoryFiles::File* MemoryFiles::Open(OutputHandle handle) {
  if (handle < 0 || handle >= count_ || files_[handle].name == nullptr) {
    return nullptr;
  }
  return &files_[handle];
}

bool MemoryFiles::Truncate(OutputHandle handle, uint64_t length) {
  File* file = Open(handle);
  if (file == nullptr) return false;
  // Only ever a cut here: the command grows a file by writing it.
  if (length < file->size) file->size = static_cast<size_t>(length);
  return length <= file->size;
}

bool MemoryFiles::Write(OutputHandle handle, const uint8_t* data,
                        size_t length) {
  File* file = Open(handle);
  if (file == nullptr || length > SIZE_MAX - file->position) return false;
  const size_t end = file->position + length;
  if (end > file->capacity) {
    // A power of two, 4 KiB at the least: the later disks of an image write
    // most names again, a little longer or shorter, and each new block had
    // cost the allocator a search and a copy (12 ms of a 50 ms run).
    size_t capacity = file->capacity > 4096 ? file->capacity : 4096;
    while (capacity < end && capacity <= SIZE_MAX / 2) capacity *= 2;
    if (capacity < end) capacity = end;
    void* grown = std::realloc(file->data, capacity);
    if (grown == nullptr) return false;
    file->data = static_cast<uint8_t*>(grown);
    file->capacity = capacity;
  }
  if (length > 0) std::memcpy(file->data + file->position, data, length);
  file->position = end;
  if (end > file->size) file->size = end;
  return true;
}

bool MemoryFiles::Close(OutputHandle handle) { return Open(handle) != nullptr; }

}  // namespace dorvex
