#include "tool/output_file.h"

namespace dorvex {

namespace {

// A file under the name, ready to be written from its start: a new one, or
// a sole regular file overwritten in place, `old_size` bytes long.
struct Target {
  OutputHandle handle = kNoHandle;
  bool overwrites = false;
  uint64_t old_size = 0;
};

// Looks at what stands under the name and takes it over. A sole regular
// file is opened and written in place, which costs no more than truncating
// it; anything else that may go is removed and made anew, so a link, a FIFO
// or a file with other names is never written through. A directory or the
// image itself (`keep`) stays, and the result is no file.
Target TakeOver(const char* name, const FileIdentity& keep, bool* found_taken) {
  Target target;
  FileIdentity there;
  const NameKind kind = InspectName(name, &there);
  *found_taken = kind != NameKind::kNothing;
  if (kind == NameKind::kDirectory) return target;
  if (kind != NameKind::kNothing) {
    if (SameFile(there, keep)) return target;
    if (kind == NameKind::kSoleFile) {
      target.handle = OpenSoleFile(name, there, &target.old_size);
      target.overwrites = target.handle != kNoHandle;
      if (target.overwrites) return target;
    }
    if (!RemoveName(name)) return target;
  }
  // A name taken again by a race since the look gives no file.
  target.handle = CreateNewFile(name, nullptr);
  return target;
}

// Opens the way `guess` says is cheapest, falling back to a look.
Target OpenTarget(const char* name, const FileIdentity& keep, NameGuess guess,
                  bool* found_taken) {
  Target target;
  *found_taken = false;
  if (guess == NameGuess::kOurs) {
    target.handle = OpenSoleFileOtherThan(name, keep, &target.old_size);
    if (target.handle != kNoHandle) {
      target.overwrites = true;
      return target;
    }
  }
  if (guess == NameGuess::kFree) {
    // A free name costs three system calls: create, write, close.
    target.handle = CreateNewFile(name, found_taken);
    if (target.handle != kNoHandle || !*found_taken) return target;
  }
  return TakeOver(name, keep, found_taken);
}

}  // namespace

bool WriteOutputFile(const char* name, const uint8_t* data, int32_t length,
                     const FileIdentity& keep, NameGuess guess,
                     bool* found_taken) {
  const Target target = OpenTarget(name, keep, guess, found_taken);
  if (target.handle == kNoHandle) return false;
  const size_t size = length > 0 ? static_cast<size_t>(length) : 0;
  bool written = WriteToFile(target.handle, data, size);
  // A longer old file is cut after the write, never before: until then the
  // open file has not been shown to be the one that was looked at.
  if (written && target.overwrites && target.old_size > size) {
    written = TruncateFile(target.handle, size);
  }
  const bool closed = CloseFile(target.handle);
  if (written && closed) return true;
  // The file is ours: no incomplete file stays under the name.
  RemoveName(name);
  return false;
}

}  // namespace dorvex
