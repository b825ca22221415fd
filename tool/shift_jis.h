#ifndef DORVEX_TOOL_SHIFT_JIS_H_
#define DORVEX_TOOL_SHIFT_JIS_H_

#include <cstddef>

namespace dorvex {

// Every byte decodes to at most 3 bytes of UTF-8 (U+FFFD for a byte that is
// no character), so a text of n bytes needs at most 3n + 1.
constexpr size_t kUtf8PerShiftJisByte = 3;

// Decodes the `length` bytes of `text` from Shift_JIS as Windows writes it
// (code page 932) into UTF-8 in `out`, terminated, the same on every host:
// each byte or pair that stands for no character becomes U+FFFD, and an
// ASCII byte after a lead byte stands for itself. Stops where `capacity`
// (at least 1) runs out, at a whole character. Returns the bytes written,
// the terminator not counted.
size_t DecodeShiftJis(const char* text, size_t length, char* out,
                      size_t capacity);

}  // namespace dorvex

#endif  // DORVEX_TOOL_SHIFT_JIS_H_
