#include "platform/utf8.h"

namespace dorvex {

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one code point at `in`, moving past it; false when malformed.
bool DecodeUtf8(const unsigned char*& in, char32_t& code) {
  const unsigned char lead = *in;
  int extra = 0;
  char32_t least = 0;
  if (lead < 0x80) {
    code = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    code = lead & 0x1Fu, extra = 1, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    code = lead & 0x0Fu, extra = 2, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    code = lead & 0x07u, extra = 3, least = 0x10000;
  } else {
    return false;
  }
  ++in;
  for (int i = 0; i < extra; ++i, ++in) {
    if (!IsContinuation(*in)) return false;
    code = (code << 6) | (*in & 0x3Fu);
  }
  if (code < least || code > 0x10FFFF) return false;  // overlong or too big
  return code < 0xD800 || code > 0xDFFF;              // no surrogates
}

}  // namespace

bool Utf16ToUtf8(const char16_t* in, char* out, size_t size) {
  size_t used = 0;
  auto put = [&](char32_t byte) {
    if (used + 1 >= size) return false;  // keep room for the terminator
    out[used++] = static_cast<char>(byte);
    return true;
  };
  for (; *in != 0; ++in) {
    char32_t code = *in;
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (in[1] < 0xDC00 || in[1] > 0xDFFF) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (in[1] - 0xDC00u);
      ++in;
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      return false;
    }
    bool fits;
    if (code < 0x80) {
      fits = put(code);
    } else if (code < 0x800) {
      fits = put(0xC0 | (code >> 6)) && put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      fits = put(0xE0 | (code >> 12)) && put(0x80 | ((code >> 6) & 0x3F)) &&
             put(0x80 | (code & 0x3F));
    } else {
      fits = put(0xF0 | (code >> 18)) && put(0x80 | ((code >> 12) & 0x3F)) &&
             put(0x80 | ((code >> 6) & 0x3F)) && put(0x80 | (code & 0x3F));
    }
    if (!fits) return false;
  }
  if (size == 0) return false;
  out[used] = 0;
  return true;
}

bool Utf8ToUtf16(const char* in, char16_t* out, size_t size) {
  size_t used = 0;
  const unsigned char* at = reinterpret_cast<const unsigned char*>(in);
  while (*at != 0) {
    char32_t code = 0;
    if (!DecodeUtf8(at, code)) return false;
    if (code < 0x10000) {
      if (used + 1 >= size) return false;
      out[used++] = static_cast<char16_t>(code);
    } else {
      if (used + 2 >= size) return false;
      code -= 0x10000;
      out[used++] = static_cast<char16_t>(0xD800 + (code >> 10));
      out[used++] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
  }
  if (size == 0) return false;
  out[used] = 0;
  return true;
}

}  // namespace dorvex
