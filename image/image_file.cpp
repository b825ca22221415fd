#include "image/image_file.h"

#include <cstring>

#include "platform/files.h"

namespace dorvex {

namespace {

// Positions are sought with 64 bits on every host. Far below the end of
// that range, so that no skip from a valid position can overflow.
constexpr int64_t kMaxSeekOffset = int64_t{1} << 62;

}  // namespace

ImageFile::~ImageFile() { Close(); }

bool ImageFile::Open(const char* path) {
  Close();
  std::FILE* file = OpenForReading(path);
  if (file == nullptr) return false;
  // The stream's own buffer would only copy every byte twice: this object
  // reads in large blocks into its own.
  std::setvbuf(file, nullptr, _IONBF, 0);
  file_ = file;
  identity_ = IdentifyFile(file);
  position_ = 0;
  buffer_start_ = 0;
  buffer_length_ = 0;
  os_position_ = 0;
  read_error_ = false;
  // Some systems open a directory for reading and fail only on the first
  // read: such a path is as unusable as one that does not open.
  if (!Fill() && read_error_) {
    Close();
    return false;
  }
  return true;
}

void ImageFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  identity_ = FileIdentity();
  buffer_length_ = 0;
}

bool ImageFile::Seek(int64_t offset) {
  if (file_ == nullptr || offset < 0 || offset > kMaxSeekOffset) return false;
  position_ = offset;
  return true;
}

int32_t ImageFile::Read(uint8_t* dst, int32_t length) {
  if (file_ == nullptr || length <= 0) return 0;
  int32_t done = 0;
  while (done < length) {
    const int64_t skip = position_ - buffer_start_;
    if (skip < 0 || skip >= buffer_length_) {
      if (!Fill()) break;
      continue;
    }
    const int32_t available = buffer_length_ - static_cast<int32_t>(skip);
    const int32_t wanted = length - done;
    const int32_t count = wanted < available ? wanted : available;
    std::memcpy(dst + done, buffer_ + skip, static_cast<size_t>(count));
    done += count;
    position_ += count;
  }
  return done;
}

int32_t ImageFile::ReadAroundBuffer(uint8_t* dst, int32_t length) {
  if (file_ == nullptr || length <= 0) return 0;
  const int64_t skip = position_ - buffer_start_;
  if (skip >= 0 && skip + length <= buffer_length_) return Read(dst, length);
  if (!MoveStream()) return 0;
  const size_t got = ReadStream(dst, static_cast<size_t>(length));
  position_ += static_cast<int64_t>(got);
  return static_cast<int32_t>(got);
}

const uint8_t* ImageFile::PeekFilling(int64_t offset, int32_t length) {
  if (file_ == nullptr || length <= 0 || length > kMaxPeek) return nullptr;
  const int64_t saved = position_;
  const uint8_t* peeked = nullptr;
  if (Seek(offset)) {
    // One fill leaves the bytes whole in the buffer unless the file ends
    // among them; a read of many pieces still gets them all if it does not.
    if (Fill() && offset - buffer_start_ <= buffer_length_ - length) {
      peeked = buffer_ + (offset - buffer_start_);
    } else if (Seek(offset) && Read(peeked_, length) == length) {
      peeked = peeked_;
    }
  }
  position_ = saved;
  return peeked;
}

bool ImageFile::Fill() {
  const int64_t end = buffer_start_ + buffer_length_;
  const bool continues = buffer_length_ > 0 && os_position_ == end &&
                         position_ >= end &&
                         position_ - end < kBufferSize - kKeptTail;
  if (continues) {
    // Read on from where the stream stands, without a seek, keeping the
    // tail of what was read before.
    const int32_t kept =
        buffer_length_ < kKeptTail ? buffer_length_ : kKeptTail;
    std::memmove(buffer_, buffer_ + buffer_length_ - kept,
                 static_cast<size_t>(kept));
    buffer_start_ = end - kept;
    buffer_length_ = kept + ReadBlock(kept);
  } else {
    buffer_start_ = position_;
    buffer_length_ = 0;
    if (!MoveStream()) return false;
    buffer_length_ = ReadBlock(0);
  }
  return position_ - buffer_start_ < buffer_length_;
}

int32_t ImageFile::ReadBlock(int32_t at) {
  return static_cast<int32_t>(
      ReadStream(buffer_ + at, static_cast<size_t>(kBufferSize - at)));
}

bool ImageFile::MoveStream() {
  if (os_position_ == position_) return true;
  os_position_ = -1;
  if (!SeekFile(file_, position_)) return false;
  os_position_ = position_;
  return true;
}

size_t ImageFile::ReadStream(uint8_t* dst, size_t wanted) {
  const size_t got = std::fread(dst, 1, wanted, file_);
  if (got < wanted && std::ferror(file_)) {
    read_error_ = true;
    std::clearerr(file_);
    os_position_ = -1;  // a failed read may leave the position anywhere
  } else {
    os_position_ += static_cast<int64_t>(got);
  }
  return got;
}

}  // namespace dorvex
