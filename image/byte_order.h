#ifndef DORVEX_IMAGE_BYTE_ORDER_H_
#define DORVEX_IMAGE_BYTE_ORDER_H_

#include <cstdint>

namespace dorvex {

// Stored integers are little-endian whatever the host, so they are assembled
// byte by byte; nothing else in the program reads a multi-byte field.

// Returns the unsigned 16-bit value at p[0..1] (0 to 65535).
inline int32_t DecodeLe16(const uint8_t* p) {
  return static_cast<int32_t>(p[0]) | (static_cast<int32_t>(p[1]) << 8);
}

// Returns the 32-bit value at p[0..3] as a signed integer (two's complement).
inline int32_t DecodeLe32(const uint8_t* p) {
  const uint32_t u =
      static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
      (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  // Converting an unsigned value above INT32_MAX is implementation-defined
  // before C++20, so the negative half is formed from its complement.
  if (u <= 0x7FFFFFFFu) return static_cast<int32_t>(u);
  return -static_cast<int32_t>(~u) - 1;
}

}  // namespace dorvex

#endif  // DORVEX_IMAGE_BYTE_ORDER_H_
