#include "tool/shift_jis.h"

#include <cstdint>

#include "tool/shift_jis_table.h"

namespace dorvex {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Half-width katakana stand alone, from U+FF61 up.
constexpr uint8_t kFirstKatakana = 0xA1;
constexpr uint8_t kLastKatakana = 0xDF;
constexpr uint32_t kKatakanaBase = 0xFF61;

// The row of lead byte `byte` in kShiftJisPairs, or -1 for a byte that
// begins no pair.
int LeadRow(uint8_t byte) {
  if (byte >= 0x81 && byte <= 0x9F) return byte - 0x81;
  if (byte >= 0xE0 && byte <= 0xFC) return byte - 0xE0 + (0x9F - 0x81 + 1);
  return -1;
}

// The column of trail byte `byte`, or -1; 0x7F is never a trail byte.
int TrailColumn(uint8_t byte) {
  if (byte >= 0x40 && byte <= 0x7E) return byte - 0x40;
  if (byte >= 0x80 && byte <= 0xFC) return byte - 0x80 + (0x7E - 0x40 + 1);
  return -1;
}

// Appends `point` (below U+10000) as UTF-8 when it fits with the
// terminator; false when it does not.
bool Append(uint32_t point, char* out, size_t capacity, size_t& at) {
  uint8_t bytes[3];
  size_t count = 0;
  if (point < 0x80) {
    bytes[count++] = static_cast<uint8_t>(point);
  } else if (point < 0x800) {
    bytes[count++] = static_cast<uint8_t>(0xC0 | point >> 6);
    bytes[count++] = static_cast<uint8_t>(0x80 | (point & 0x3F));
  } else {
    bytes[count++] = static_cast<uint8_t>(0xE0 | point >> 12);
    bytes[count++] = static_cast<uint8_t>(0x80 | (point >> 6 & 0x3F));
    bytes[count++] = static_cast<uint8_t>(0x80 | (point & 0x3F));
  }
  if (capacity - at <= count) return false;
  for (size_t i = 0; i < count; ++i) out[at++] = static_cast<char>(bytes[i]);
  return true;
}

}  // namespace

size_t DecodeShiftJis(const char* text, size_t length, char* out,
                      size_t capacity) {
  if (capacity == 0) return 0;
  size_t at = 0;
  for (size_t i = 0; i < length;) {
    const uint8_t byte = static_cast<uint8_t>(text[i++]);
    uint32_t point = kReplacement;
    if (byte < 0x80) {
      point = byte;
    } else if (byte >= kFirstKatakana && byte <= kLastKatakana) {
      point = kKatakanaBase + (byte - kFirstKatakana);
    } else if (const int row = LeadRow(byte); row >= 0 && i < length) {
      const uint8_t trail = static_cast<uint8_t>(text[i]);
      const int column = TrailColumn(trail);
      const uint32_t paired = column >= 0 ? kShiftJisPairs[row][column] : 0;
      // A pair that stands for nothing takes its trail byte with it, unless
      // that byte is ASCII, which then stands for itself.
      if (paired != 0) {
        point = paired;
        ++i;
      } else if (trail >= 0x80) {
        ++i;
      }
    }
    if (!Append(point, out, capacity, at)) break;
  }
  out[at] = 0;
  return at;
}

}  // namespace dorvex
