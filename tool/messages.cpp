#include "tool/messages.h"

#include <cstdio>

namespace dorvex {

namespace {

// Every byte escaped, so that no escape can run into the character after
// it. A Shift_JIS character never holds the byte of '%', so each form is a
// printf format of its own.
// clang-format off
const MessageText kTexts[kMessageCount] = {
    // "Usage: dorvex image"
    {"Usage: dorvex image\n", "Usage: dorvex image\n"},
    // "ファイルをオープンできません": cannot open the file
    {"\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x83\x49\x81\x5B\x83\x76"
     "\x83\x93\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x0A",
     "\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB\xE3\x82\x92\xE3"
     "\x82\xAA\xE3\x83\xBC\xE3\x83\x97\xE3\x83\xB3\xE3\x81\xA7\xE3\x81"
     "\x8D\xE3\x81\xBE\xE3\x81\x9B\xE3\x82\x93\x0A"},
    // "ディスク %d 枚目は正しいディスクではないようです.":
    // disk %d does not seem to be the right disk
    {"\x83\x66\x83\x42\x83\x58\x83\x4E\x20"
     "%d"
     "\x20\x96\x87\x96\xDA\x82\xCD\x90\xB3\x82\xB5\x82\xA2\x83\x66\x83"
     "\x42\x83\x58\x83\x4E\x82\xC5\x82\xCD\x82\xC8\x82\xA2\x82\xE6\x82"
     "\xA4\x82\xC5\x82\xB7\x2E\x0A",
     "\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF\x20"
     "%d"
     "\x20\xE6\x9E\x9A\xE7\x9B\xAE\xE3\x81\xAF\xE6\xAD\xA3\xE3\x81\x97"
     "\xE3\x81\x84\xE3\x83\x87\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF\xE3"
     "\x81\xA7\xE3\x81\xAF\xE3\x81\xAA\xE3\x81\x84\xE3\x82\x88\xE3\x81"
     "\x86\xE3\x81\xA7\xE3\x81\x99\x2E\x0A"},
    // "%d 枚めのイメージからファイルを抽出します.":
    // extracting the files from image %d
    {"%d"
     "\x20\x96\x87\x82\xDF\x82\xCC\x83\x43\x83\x81\x81\x5B\x83\x57\x82"
     "\xA9\x82\xE7\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xF0\x92\x8A\x8F"
     "\x6F\x82\xB5\x82\xDC\x82\xB7\x2E\x0A",
     "%d"
     "\x20\xE6\x9E\x9A\xE3\x82\x81\xE3\x81\xAE\xE3\x82\xA4\xE3\x83\xA1"
     "\xE3\x83\xBC\xE3\x82\xB8\xE3\x81\x8B\xE3\x82\x89\xE3\x83\x95\xE3"
     "\x82\xA1\xE3\x82\xA4\xE3\x83\xAB\xE3\x82\x92\xE6\x8A\xBD\xE5\x87"
     "\xBA\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x99\x2E\x0A"},
    // "%s の読み込みに失敗しました.": reading %s failed
    {"%s"
     "\x20\x82\xCC\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94"
     "\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x2E\x0A",
     "%s"
     "\x20\xE3\x81\xAE\xE8\xAA\xAD\xE3\x81\xBF\xE8\xBE\xBC\xE3\x81\xBF"
     "\xE3\x81\xAB\xE5\xA4\xB1\xE6\x95\x97\xE3\x81\x97\xE3\x81\xBE\xE3"
     "\x81\x97\xE3\x81\x9F\x2E\x0A"},
    // "%s の書き込みに失敗しました.": writing %s failed
    {"%s"
     "\x20\x82\xCC\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94"
     "\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x2E\x0A",
     "%s"
     "\x20\xE3\x81\xAE\xE6\x9B\xB8\xE3\x81\x8D\xE8\xBE\xBC\xE3\x81\xBF"
     "\xE3\x81\xAB\xE5\xA4\xB1\xE6\x95\x97\xE3\x81\x97\xE3\x81\xBE\xE3"
     "\x81\x97\xE3\x81\x9F\x2E\x0A"},
};
// clang-format on

// Formats `message` with its argument in the form `stream` takes, and writes
// it as one line with a single write.
template <typename Argument>
void WriteLine(const MessageStream& stream, Message message,
               Argument argument) {
  const MessageText& text = TextOf(message);
  const bool shift_jis = stream.form == TextForm::kShiftJis;
  char line[256];
  const int length = std::snprintf(
      line, sizeof line, shift_jis ? text.shift_jis : text.utf8, argument);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof line) return;
  const size_t size = static_cast<size_t>(length);
  if (stream.form == TextForm::kWindowsConsole &&
      WriteToConsole(stream.console, line, size)) {
    return;
  }
  stream.bytes->write(line, length);
  stream.bytes->flush();
}

}  // namespace

const MessageText& TextOf(Message message) {
  return kTexts[static_cast<int>(message)];
}

void WriteUsage(const MessageStream& err) {
  WriteLine(err, Message::kUsage, 0);
}

void WriteCannotOpen(const MessageStream& err) {
  WriteLine(err, Message::kCannotOpen, 0);
}

void WriteWrongDisk(const MessageStream& err, int position) {
  WriteLine(err, Message::kWrongDisk, position);
}

void WriteExtracting(const MessageStream& out, int position) {
  WriteLine(out, Message::kExtracting, position);
}

void WriteReadFailed(const MessageStream& err, const char* file_name) {
  WriteLine(err, Message::kReadFailed, file_name);
}

void WriteWriteFailed(const MessageStream& err, const char* file_name) {
  WriteLine(err, Message::kWriteFailed, file_name);
}

}  // namespace dorvex
