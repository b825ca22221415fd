#include "tool/messages.h"

#include <cstdio>

namespace dorvex {

namespace {

// Shift_JIS texts. Each multi-byte character is its own string piece, so
// that no hexadecimal escape can swallow the character after it.

// "ファイルをオープンできません"
constexpr char kCannotOpen[] =
    "\x83t"
    "\x83@"
    "\x83"
    "C"
    "\x83\x8B"
    "\x82\xF0"
    "\x83I"
    "\x81["
    "\x83v"
    "\x83\x93"
    "\x82\xC5"
    "\x82\xAB"
    "\x82\xDC"
    "\x82\xB9"
    "\x82\xF1";
// "ディスク " ... " 枚目は正しいディスクではないようです."
constexpr char kWrongDiskBefore[] =
    "\x83"
    "f"
    "\x83"
    "B"
    "\x83X"
    "\x83N"
    " ";
constexpr char kWrongDiskAfter[] =
    " "
    "\x96\x87"
    "\x96\xDA"
    "\x82\xCD"
    "\x90\xB3"
    "\x82\xB5"
    "\x82\xA2"
    "\x83"
    "f"
    "\x83"
    "B"
    "\x83X"
    "\x83N"
    "\x82\xC5"
    "\x82\xCD"
    "\x82\xC8"
    "\x82\xA2"
    "\x82\xE6"
    "\x82\xA4"
    "\x82\xC5"
    "\x82\xB7"
    ".";
// " 枚めのイメージからファイルを抽出します."
constexpr char kExtractingAfter[] =
    " "
    "\x96\x87"
    "\x82\xDF"
    "\x82\xCC"
    "\x83"
    "C"
    "\x83\x81"
    "\x81["
    "\x83W"
    "\x82\xA9"
    "\x82\xE7"
    "\x83t"
    "\x83@"
    "\x83"
    "C"
    "\x83\x8B"
    "\x82\xF0"
    "\x92\x8A"
    "\x8F"
    "o"
    "\x82\xB5"
    "\x82\xDC"
    "\x82\xB7"
    ".";
// " の読み込みに失敗しました."
constexpr char kReadFailedAfter[] =
    " "
    "\x82\xCC"
    "\x93\xC7"
    "\x82\xDD"
    "\x8D\x9E"
    "\x82\xDD"
    "\x82\xC9"
    "\x8E\xB8"
    "\x94s"
    "\x82\xB5"
    "\x82\xDC"
    "\x82\xB5"
    "\x82\xBD"
    ".";
// " の書き込みに失敗しました."
constexpr char kWriteFailedAfter[] =
    " "
    "\x82\xCC"
    "\x8F\x91"
    "\x82\xAB"
    "\x8D\x9E"
    "\x82\xDD"
    "\x82\xC9"
    "\x8E\xB8"
    "\x94s"
    "\x82\xB5"
    "\x82\xDC"
    "\x82\xB5"
    "\x82\xBD"
    ".";

// Writes the three pieces as one line with a single write, and flushes it.
void WriteLine(std::ostream& stream, const char* first, const char* second,
               const char* third = "") {
  char line[256];
  const int length =
      std::snprintf(line, sizeof line, "%s%s%s\n", first, second, third);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof line) return;
  stream.write(line, length);
  stream.flush();
}

// Formats a disk position; the buffer outlives the line it goes into.
struct Number {
  explicit Number(int value) { std::snprintf(text, sizeof text, "%d", value); }
  char text[16];
};

}  // namespace

void WriteUsage(std::ostream& err) {
  WriteLine(err, "Usage: dorvex image", "");
}

void WriteCannotOpen(std::ostream& err) { WriteLine(err, kCannotOpen, ""); }

void WriteWrongDisk(std::ostream& err, int position) {
  WriteLine(err, kWrongDiskBefore, Number(position).text, kWrongDiskAfter);
}

void WriteExtracting(std::ostream& out, int position) {
  WriteLine(out, Number(position).text, kExtractingAfter);
}

void WriteReadFailed(std::ostream& err, const char* file_name) {
  WriteLine(err, file_name, kReadFailedAfter);
}

void WriteWriteFailed(std::ostream& err, const char* file_name) {
  WriteLine(err, file_name, kWriteFailedAfter);
}

}  // namespace dorvex
