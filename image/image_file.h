#ifndef DORVEX_IMAGE_IMAGE_FILE_H_
#define DORVEX_IMAGE_IMAGE_FILE_H_

#include <cstdint>
#include <cstdio>

#include "platform/files.h"

namespace dorvex {

// A file opened for reading in binary mode, read through a fixed buffer of its
// own. Seeks are only recorded; the operating system is asked to move only
// when a read needs bytes the buffer does not hold, so walking the sector
// headers of a track and skipping their data costs no system call.
class ImageFile {
 public:
  static constexpr int32_t kBufferSize = 128 * 1024;
  // When a read runs on past the buffer, this much of its end is kept, so
  // that going back to the start of the track being walked costs nothing.
  static constexpr int32_t kKeptTail = 32 * 1024;
  // The most bytes one Peek looks at.
  static constexpr int32_t kMaxPeek = 64;

  ImageFile() = default;
  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  // Opens `path` (UTF-8) for reading and leaves the read position at 0.
  // Returns false, leaving the object closed, when the file cannot be opened
  // or cannot be read at all (a directory, for one).
  bool Open(const char* path);

  // Closes the file if one is open.
  void Close();

  bool IsOpen() const { return file_ != nullptr; }

  // The identity of the open file; unknown when none is open.
  const FileIdentity& Identity() const { return identity_; }

  // Moves the read position to `offset` bytes from the start of the file.
  // Returns false, and leaves the position as it was, when no file is open,
  // or the offset is negative or beyond 2^62.
  // A position past the end of the file is allowed; reads there return 0.
  bool Seek(int64_t offset);

  // Moves the read position by `delta` bytes; fails as Seek does.
  bool Skip(int64_t delta) { return Seek(position_ + delta); }

  // Reads up to `length` bytes at the read position into `dst` and moves
  // past them. Returns the count read: less than `length` at the end of the
  // file or on a read error, 0 when `length` is 0 or less or nothing is open.
  int32_t Read(uint8_t* dst, int32_t length);

  // The `length` bytes (1 to kMaxPeek) at `offset`, read in place: a
  // pointer valid until the next call on this object, or nullptr when the
  // file ends before them all or `offset` cannot be sought. Does not move
  // the read position. For walks that look at many small headers.
  const uint8_t* Peek(int64_t offset, int32_t length) {
    const int64_t skip = offset - buffer_start_;
    if (skip >= 0 && skip <= buffer_length_ - length) return buffer_ + skip;
    return PeekFilling(offset, length);
  }

  // Reads as Read does, but bytes the buffer does not hold come straight
  // from the file, leaving the buffer as it was: for a scan that reads a
  // little far apart, where every buffer fill would cost a whole block.
  int32_t ReadAroundBuffer(uint8_t* dst, int32_t length);

 private:
  // Peek for bytes the buffer does not hold whole.
  const uint8_t* PeekFilling(int64_t offset, int32_t length);

  // Loads the buffer so that it holds the byte at the read position. Returns
  // false when it cannot (end of file, read error, unreachable position).
  bool Fill();

  // Reads at the stream's position into buffer_[at...]; returns the count.
  int32_t ReadBlock(int32_t at);

  // Moves the stream to the read position unless it stands there; false
  // when it cannot be sought.
  bool MoveStream();

  // Reads up to `wanted` bytes at the stream's position into `dst` and
  // keeps the stream's position known; returns the count.
  size_t ReadStream(uint8_t* dst, size_t wanted);

  std::FILE* file_ = nullptr;
  FileIdentity identity_;
  int64_t position_ = 0;
  int64_t buffer_start_ = 0;  // file offset of buffer_[0]
  int32_t buffer_length_ = 0;
  int64_t os_position_ = -1;  // the stream's own position; -1 when unknown
  bool read_error_ = false;
  uint8_t buffer_[kBufferSize] = {};
  uint8_t peeked_[kMaxPeek] = {};  // what Peek gathered across two fills
};

}  // namespace dorvex

#endif  // DORVEX_IMAGE_IMAGE_FILE_H_
