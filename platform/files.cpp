#include "platform/files.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "platform/utf8.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#endif

namespace dorvex {

#ifdef _WIN32

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");

// The one path in UTF-16 that a call to Windows needs at a time, and the
// lock that lets one thread at a time hold it: the probe opens images on
// several. An SRW lock is a word of static storage, taken without a system
// call when no other thread holds it.
char16_t g_wide[kMaxPathUnits];
SRWLOCK g_wide_lock = SRWLOCK_INIT;

// Holds g_wide for the object's life.
class WideLock {
 public:
  WideLock() { AcquireSRWLockExclusive(&g_wide_lock); }
  ~WideLock() { ReleaseSRWLockExclusive(&g_wide_lock); }
  WideLock(const WideLock&) = delete;
  WideLock& operator=(const WideLock&) = delete;
};

// `path` converted into g_wide, held for the object's life; get() is
// nullptr when it is not well-formed UTF-8 or too long.
class WidePath {
 public:
  explicit WidePath(const char* path) {
    if (Utf8ToUtf16(path, g_wide, kMaxPathUnits)) {
      wide_ = reinterpret_cast<const wchar_t*>(g_wide);
    }
  }
  const wchar_t* get() const { return wide_; }

 private:
  WideLock lock_;  // taken before the conversion, released after the call
  const wchar_t* wide_ = nullptr;
};

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  FileIdentity identity;
  identity.known = true;
  identity.volume = info.dwVolumeSerialNumber;
  identity.index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  identity.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return identity;
}

FileIdentity IdentifyHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (handle == INVALID_HANDLE_VALUE ||
      !GetFileInformationByHandle(handle, &info)) {
    return FileIdentity();
  }
  return IdentityOf(info);
}

bool IsSoleFile(const BY_HANDLE_FILE_INFORMATION& info) {
  const DWORD not_plain = FILE_ATTRIBUTE_DIRECTORY |
                          FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  return (info.dwFileAttributes & not_plain) == 0 && info.nNumberOfLinks == 1;
}

// Opens what stands under `wide` itself, a link not followed.
HANDLE OpenName(const wchar_t* wide, DWORD access) {
  return CreateFileW(
      wide, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING,
      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

HANDLE ToHandle(OutputHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

const char* CurrentDirectory() {
  static char path[kMaxPathBytes];
  const WideLock lock;
  const DWORD length =
      GetCurrentDirectoryW(kMaxPathUnits, reinterpret_cast<wchar_t*>(g_wide));
  if (length == 0 || length >= kMaxPathUnits) return nullptr;
  return Utf16ToUtf8(g_wide, path, sizeof path) ? path : nullptr;
}

std::FILE* OpenForReading(const char* path) {
  const WidePath wide(path);
  return wide.get() == nullptr ? nullptr : _wfopen(wide.get(), L"rb");
}

bool SeekFile(std::FILE* file, int64_t offset) {
  return offset >= 0 && _fseeki64(file, offset, SEEK_SET) == 0;
}

FileIdentity IdentifyFile(std::FILE* file) {
  return IdentifyHandle(
      reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
}

NameKind InspectName(const char* name, FileIdentity* identity) {
  const WidePath held(name);
  const wchar_t* wide = held.get();
  if (wide == nullptr) return NameKind::kNothing;
  const DWORD attributes = GetFileAttributesW(wide);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? NameKind::kNothing
               : NameKind::kOther;
  }
  // A link to a directory is a link like any other.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return NameKind::kDirectory;
  }
  // No access asked: only the identity and link count of the name itself.
  const HANDLE handle = OpenName(wide, 0);
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = handle != INVALID_HANDLE_VALUE &&
                     GetFileInformationByHandle(handle, &info);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  if (!known) return NameKind::kOther;
  if (identity != nullptr) *identity = IdentityOf(info);
  return IsSoleFile(info) ? NameKind::kSoleFile : NameKind::kOther;
}

bool RemoveName(const char* name) {
  const WidePath held(name);
  const wchar_t* wide = held.get();
  if (wide == nullptr) return false;
  const DWORD attributes = GetFileAttributesW(wide);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return RemoveDirectoryW(wide) != 0;  // only a link reaches here
  }
  if (DeleteFileW(wide)) return true;
  // A read-only file is removed as on POSIX, where only the directory's
  // permissions count.
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return false;
  SetFileAttributesW(wide, attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
  return DeleteFileW(wide) != 0;
}

OutputHandle CreateNewFile(const char* name, bool* name_taken) {
  if (name_taken != nullptr) *name_taken = false;
  const WidePath held(name);
  const wchar_t* wide = held.get();
  if (wide == nullptr) return kNoHandle;
  const HANDLE handle = CreateFileW(wide, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (name_taken != nullptr) {
      const DWORD error = GetLastError();
      *name_taken = error == ERROR_FILE_EXISTS ||
                    error == ERROR_ALREADY_EXISTS ||
                    GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES;
    }
    return kNoHandle;
  }
  return reinterpret_cast<OutputHandle>(handle);
}

namespace {

// Opens what stands under `name` for writing, a link not followed, and keeps
// it open only when it is a sole file of which `wanted` approves.
template <typename Wanted>
OutputHandle OpenSoleFileIf(const char* name, Wanted wanted, uint64_t* size) {
  const WidePath held(name);
  const wchar_t* wide = held.get();
  if (wide == nullptr) return kNoHandle;
  const HANDLE handle = OpenName(wide, GENERIC_WRITE);
  if (handle == INVALID_HANDLE_VALUE) return kNoHandle;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info) || !IsSoleFile(info) ||
      !wanted(IdentityOf(info))) {
    CloseHandle(handle);
    return kNoHandle;
  }
  *size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return reinterpret_cast<OutputHandle>(handle);
}

}  // namespace

bool TruncateFile(OutputHandle handle, uint64_t length) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(length);
  return SetFilePointerEx(ToHandle(handle), position, nullptr, FILE_BEGIN) &&
         SetEndOfFile(ToHandle(handle));
}

bool WriteToFile(OutputHandle handle, const uint8_t* data, size_t length) {
  while (length > 0) {
    const DWORD wanted =
        length < 0x40000000u ? static_cast<DWORD>(length) : 0x40000000u;
    DWORD written = 0;
    if (!WriteFile(ToHandle(handle), data, wanted, &written, nullptr) ||
        written == 0) {
      return false;
    }
    data += written;
    length -= written;
  }
  return true;
}

bool CloseFile(OutputHandle handle) {
  return CloseHandle(ToHandle(handle)) != 0;
}

#else  // POSIX

static_assert(sizeof(off_t) == 8, "64-bit file positions");

namespace {

FileIdentity IdentityOf(const struct stat& status) {
  FileIdentity identity;
  identity.known = true;
  identity.volume = static_cast<uint64_t>(status.st_dev);
  identity.index = static_cast<uint64_t>(status.st_ino);
  identity.size =
      status.st_size > 0 ? static_cast<uint64_t>(status.st_size) : 0;
  return identity;
}

bool IsSoleFile(const struct stat& status) {
  return S_ISREG(status.st_mode) && status.st_nlink == 1;
}

}  // namespace

const char* CurrentDirectory() {
  static char path[PATH_MAX];
  return getcwd(path, sizeof path);
}

std::FILE* OpenForReading(const char* path) { return std::fopen(path, "rb"); }

bool SeekFile(std::FILE* file, int64_t offset) {
  return offset >= 0 && fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

FileIdentity IdentifyFile(std::FILE* file) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0) return FileIdentity();
  return IdentityOf(status);
}

NameKind InspectName(const char* name, FileIdentity* identity) {
  struct stat status;
  if (lstat(name, &status) != 0) {
    return errno == ENOENT ? NameKind::kNothing : NameKind::kOther;
  }
  if (S_ISDIR(status.st_mode)) return NameKind::kDirectory;
  if (identity != nullptr) *identity = IdentityOf(status);
  return IsSoleFile(status) ? NameKind::kSoleFile : NameKind::kOther;
}

bool RemoveName(const char* name) { return unlink(name) == 0; }

OutputHandle CreateNewFile(const char* name, bool* name_taken) {
  // O_EXCL fails on any name that exists, a link included, whether it
  // dangles or not: nothing is ever written through a link.
  const int fd =
      open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (name_taken != nullptr) *name_taken = fd < 0 && errno == EEXIST;
  return fd < 0 ? kNoHandle : fd;
}

namespace {

// Opens what stands under `name` for writing, a link not followed, and keeps
// it open only when it is a sole file of which `wanted` approves.
template <typename Wanted>
OutputHandle OpenSoleFileIf(const char* name, Wanted wanted, uint64_t* size) {
  // O_NONBLOCK: should a FIFO take the name after the look, the open fails
  // at once instead of waiting for a reader.
  const int fd = open(name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kNoHandle;
  struct stat status;
  if (fstat(fd, &status) != 0 || !IsSoleFile(status) ||
      !wanted(IdentityOf(status))) {
    close(fd);
    return kNoHandle;
  }
  *size = static_cast<uint64_t>(status.st_size);
  return fd;
}

}  // namespace

bool TruncateFile(OutputHandle handle, uint64_t length) {
  return ftruncate(static_cast<int>(handle), static_cast<off_t>(length)) == 0;
}

bool WriteToFile(OutputHandle handle, const uint8_t* data, size_t length) {
  while (length > 0) {
    const ssize_t written = write(static_cast<int>(handle), data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

bool CloseFile(OutputHandle handle) {
  return close(static_cast<int>(handle)) == 0;
}

#endif

OutputHandle OpenSoleFile(const char* name, const FileIdentity& expected,
                          uint64_t* size) {
  return OpenSoleFileIf(
      name,
      [&](const FileIdentity& there) { return SameFile(there, expected); },
      size);
}

OutputHandle OpenSoleFileOtherThan(const char* name, const FileIdentity& keep,
                                   uint64_t* size) {
  return OpenSoleFileIf(
      name, [&](const FileIdentity& there) { return !SameFile(there, keep); },
      size);
}

}  // namespace dorvex
