// The file system of platform/files.h on a host with none of its own (the
// page's WebAssembly build): everything in one MemoryFiles, in place of
// files.cpp.

#include "platform/files.h"
#include "platform/memory_files.h"

namespace dorvex {

MemoryFiles& TheMemoryFiles() {
  static MemoryFiles files;
  return files;
}

const char* CurrentDirectory() { return "/"; }

std::FILE* OpenForReading(const char* path) {
  return TheMemoryFiles().OpenForReading(path);
}

bool SeekFile(std::FILE* file, int64_t offset) {
  return TheMemoryFiles().Seek(file, offset);
}

FileIdentity IdentifyFile(std::FILE* file) {
  return TheMemoryFiles().Identify(file);
}

NameKind InspectName(const char* name, FileIdentity* identity) {
  return TheMemoryFiles().Inspect(name, identity);
}

bool RemoveName(const char* name) { return TheMemoryFiles().Remove(name); }

OutputHandle CreateNewFile(const char* name, bool* name_taken) {
  return TheMemoryFiles().Create(name, name_taken);
}

OutputHandle OpenSoleFile(const char* name, const FileIdentity& expected,
                          uint64_t* size) {
  return TheMemoryFiles().OpenSole(name, expected, true, size);
}

OutputHandle OpenSoleFileOtherThan(const char* name, const FileIdentity& keep,
                                   uint64_t* size) {
  return TheMemoryFiles().OpenSole(name, keep, false, size);
}

bool TruncateFile(OutputHandle handle, uint64_t length) {
  return TheMemoryFiles().Truncate(handle, length);
}

bool WriteToFile(OutputHandle handle, const uint8_t* data, size_t length) {
  return TheMemoryFiles().Write(handle, data, length);
}

bool CloseFile(OutputHandle handle) { return TheMemoryFiles().Close(handle); }

}  // namespace dorvex
