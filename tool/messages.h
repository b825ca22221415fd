#ifndef DORVEX_TOOL_MESSAGES_H_
#define DORVEX_TOOL_MESSAGES_H_

#include <ostream>

#include "platform/console.h"

namespace dorvex {

// Where message lines go: the bytes of `bytes`, in Shift_JIS or in UTF-8,
// or the Windows console behind `console`. A plain stream gets Shift_JIS.
struct MessageStream {
  MessageStream(std::ostream& stream, TextForm text_form = TextForm::kShiftJis,
                StandardStream console_stream = StandardStream::kOutput)
      : bytes(&stream), form(text_form), console(console_stream) {}

  // Nowhere: a line is not even formatted, so that runs on several threads
  // that nobody reads the messages of share no line buffer.
  static MessageStream Nowhere() { return MessageStream(); }

  std::ostream* bytes;
  TextForm form;
  StandardStream console;

 private:
  MessageStream()
      : bytes(nullptr),
        form(TextForm::kShiftJis),
        console(StandardStream::kOutput) {}
};

// The console messages. Each is kept once, as a printf format with its
// Shift_JIS bytes and its UTF-8 text side by side, and ends its line.
enum class Message {
  kUsage,  // "Usage: dorvex image"
  kCannotOpen,  // "ファイルをオープンできません" (cannot open the file)
  kWrongDisk,  // "ディスク %d 枚目は正しいディスクではないようです."
  kExtracting,  // "%d 枚めのイメージからファイルを抽出します."
  kReadFailed,  // "%s の読み込みに失敗しました." (reading %s failed)
  kWriteFailed,  // "%s の書き込みに失敗しました." (writing %s failed)
  // In a console window of its own, which closes when the program ends:
  kFilesWentTo,  // "%s に %d 個のファイルを書き出しました." (wrote %d files
                 // into the folder %s)
  kPressEnter,  // "Enter キーを押すとこのウィンドウを閉じます."
                // (press Enter to close this window)
  kDropImage,  // "D88 イメージファイルを dorvex.exe にドロップしてください."
               // (drop a D88 image file onto dorvex.exe)
};
constexpr int kMessageCount = 9;

struct MessageText {
  const char* shift_jis;
  const char* utf8;
};

// The two forms of `message`.
const MessageText& TextOf(Message message);

// Each line is one write, flushed, so that standard output and standard
// error on one terminal or pipe keep the order in which things happened.
void WriteUsage(const MessageStream& err);
void WriteCannotOpen(const MessageStream& err);
void WriteWrongDisk(const MessageStream& err, int position);
void WriteExtracting(const MessageStream& out, int position);
void WriteReadFailed(const MessageStream& err, const char* file_name);
void WriteWriteFailed(const MessageStream& err, const char* file_name);
void WriteFilesWentTo(const MessageStream& out, const char* directory,
                      int count);
void WritePressEnter(const MessageStream& out);
void WriteDropImage(const MessageStream& err);

}  // namespace dorvex

#endif  // DORVEX_TOOL_MESSAGES_H_
