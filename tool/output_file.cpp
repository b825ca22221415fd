#include "tool/output_file.h"

namespace dorvex {

namespace {

// Clears the way for a new file under `name`. False when what stands there
// must be kept: a directory, or the image itself under another name.
bool MakeRoom(const char* name, const FileIdentity& keep) {
  FileIdentity there;
  switch (InspectName(name, &there)) {
    case NameKind::kNothing:
      return true;  // gone since the create failed
    case NameKind::kDirectory:
      return false;
    case NameKind::kOther:
      break;
  }
  if (SameFile(there, keep)) return false;
  return RemoveName(name);
}

}  // namespace

bool WriteOutputFile(const char* name, const uint8_t* data, int32_t length,
                     const FileIdentity& keep) {
  // The common case, a free name, costs three system calls: create, write,
  // close. Only a name in use is looked at.
  bool taken = false;
  OutputHandle file = CreateNewFile(name, &taken);
  if (file == kNoHandle) {
    if (!taken || !MakeRoom(name, keep)) return false;
    file = CreateNewFile(name, &taken);
    if (file == kNoHandle) return false;
  }
  const size_t size = length > 0 ? static_cast<size_t>(length) : 0;
  const bool written = WriteToFile(file, data, size);
  const bool closed = CloseFile(file);
  if (written && closed) return true;
  // The file is ours: no incomplete file stays under the name.
  RemoveName(name);
  return false;
}

}  // namespace dorvex
