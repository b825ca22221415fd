#ifndef DORVEX_PLATFORM_UTF8_H_
#define DORVEX_PLATFORM_UTF8_H_

#include <cstddef>
#include <cstdint>

namespace dorvex {

// Text travels through the program as UTF-8; Windows takes and gives paths
// and console text as UTF-16, whatever the system's code page. These
// conversions use the caller's fixed buffers and nothing of the host.

// Converts the zero-terminated UTF-16 `in` to zero-terminated UTF-8 in
// `out` (room for `size` bytes). Returns false when `out` is too small or
// `in` holds an unpaired surrogate.
bool Utf16ToUtf8(const char16_t* in, char* out, size_t size);

// Converts the zero-terminated UTF-8 `in` to zero-terminated UTF-16 in `out`
// (room for `size` units). Returns false when `out` is too small or `in` is
// not well-formed UTF-8.
bool Utf8ToUtf16(const char* in, char16_t* out, size_t size);

}  // namespace dorvex

#endif  // DORVEX_PLATFORM_UTF8_H_
