#ifndef DORVEX_PLATFORM_FILES_H_
#define DORVEX_PLATFORM_FILES_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace dorvex {

// The file system as the program needs it, the same on every host: paths
// are UTF-8, positions 64 bits wide, and a file is known by its identity
// (device and inode on POSIX, volume serial number and file index on
// Windows) rather than by its name.

// The longest path the program takes, in UTF-16 units with the terminator:
// Windows allows 32,767 units. In UTF-8 a unit takes at most 3 bytes (a
// surrogate pair, two units, takes 4).
constexpr size_t kMaxPathUnits = 32768;
constexpr size_t kMaxPathBytes = 3 * kMaxPathUnits;

// Which file a name or a stream stands for. Two identities are equal only
// when both are known and name the same file.
struct FileIdentity {
  bool known = false;
  uint64_t volume = 0;
  uint64_t index = 0;
  // Its length in bytes when it was looked at: no part of what makes two
  // identities the same.
  uint64_t size = 0;
};

inline bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.known && b.known && a.volume == b.volume && a.index == b.index;
}

// The full path of the current directory in UTF-8, in a buffer of the
// program's that holds one at a time; nullptr when it cannot be told.
const char* CurrentDirectory();

// Opens the UTF-8 `path` for reading in binary mode; nullptr on failure.
std::FILE* OpenForReading(const char* path);

// Moves `file` to `offset` bytes from its start with a 64-bit seek. Returns
// false for a negative offset or when the host cannot seek there.
bool SeekFile(std::FILE* file, int64_t offset);

// The identity of the open `file`; unknown when the host cannot tell.
FileIdentity IdentifyFile(std::FILE* file);

// What stands under a name in the current directory, the name itself and
// never what a link points to. A sole file is a regular file with exactly
// one name: writing into it changes no other path's bytes.
enum class NameKind { kNothing, kDirectory, kSoleFile, kOther };

// Looks at `name` without following a link. Sets `identity` (when not null)
// to that of what stands there.
NameKind InspectName(const char* name, FileIdentity* identity);

// Removes what stands under `name` (a file, a link, anything but a
// directory). Returns false when nothing could be removed.
bool RemoveName(const char* name);

// A file created for writing; `kNoHandle` when none.
using OutputHandle = intptr_t;
constexpr OutputHandle kNoHandle = -1;

// Creates `name` as a new, empty regular file for writing, failing when
// anything at all already stands under that name (a link is not followed).
// Sets `name_taken`, unless it is null, to whether that was the reason.
OutputHandle CreateNewFile(const char* name, bool* name_taken);

// Opens the existing `name` for writing from its start, without following a
// link, blocking or truncating, and only when the open file is still the
// sole file `expected`: a name can change between a look and the open.
// Sets `size` to the file's length. `kNoHandle` otherwise.
OutputHandle OpenSoleFile(const char* name, const FileIdentity& expected,
                          uint64_t* size);

// Opens the existing `name` as OpenSoleFile does, but for any sole file
// other than `keep`: for a name this run wrote itself, whose look would only
// confirm what the open checks anyway. `kNoHandle` otherwise.
OutputHandle OpenSoleFileOtherThan(const char* name, const FileIdentity& keep,
                                   uint64_t* size);

// Cuts the file to `length` bytes; false when the system refuses.
bool TruncateFile(OutputHandle handle, uint64_t length);

// Writes all `length` bytes of `data`; false when the system takes fewer.
bool WriteToFile(OutputHandle handle, const uint8_t* data, size_t length);

// Closes the file; false when the system reports that it failed.
bool CloseFile(OutputHandle handle);

}  // namespace dorvex

#endif  // DORVEX_PLATFORM_FILES_H_
