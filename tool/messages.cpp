#include "tool/messages.h"

#include <cstdio>

namespace dorvex {

namespace {

// Shift_JIS texts, every byte escaped so that no escape can run into the
// character after it. Each line is built from these pieces around its
// argument.

// clang-format off
// "ファイルをオープンできません": cannot open the file
constexpr char kCannotOpen[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76"
    "\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1";

// "ディスク "
constexpr char kWrongDiskBefore[] =
    "\x83\x66\x83\x42\x83\x58\x83\x4E\x20";

// " 枚目は正しいディスクではないようです.": disk N does not seem to be the right disk
constexpr char kWrongDiskAfter[] =
    "\x20\x96\x87\x96\xDA\x82\xCD\x90\xB3\x82\xB5\x82\xA2\x83\x66\x83"
    "\x42\x83\x58\x83\x4E\x82\xC5\x82\xCD\x82\xC8\x82\xA2\x82\xE6\x82"
    "\xA4\x82\xC5\x82\xB7\x2E";

// " 枚めのイメージからファイルを抽出します.": extracting the files from image N
constexpr char kExtractingAfter[] =
    "\x20\x96\x87\x82\xDF\x82\xCC\x83\x43\x83\x81\x81\x5B\x83\x57\x82"
    "\xA9\x82\xE7\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x92\x8A\x8F"
    "\x6F\x82\xB5\x82\xDC\x82\xB7\x2E";

// " の読み込み": reading of NAME
constexpr char kReading[] =
    "\x20\x82\xCC\x93\xC7\x82\xDD\x8D\x9E\x82\xDD";

// " の書き込み": writing of NAME
constexpr char kWriting[] =
    "\x20\x82\xCC\x8F\x91\x82\xAB\x8D\x9E\x82\xDD";

// "に失敗しました.": failed
constexpr char kFailed[] =
    "\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x2E";
// clang-format on

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
  WriteLine(err, file_name, kReading, kFailed);
}

void WriteWriteFailed(std::ostream& err, const char* file_name) {
  WriteLine(err, file_name, kWriting, kFailed);
}

}  // namespace dorvex
