#ifndef DORVEX_TOOL_MESSAGES_H_
#define DORVEX_TOOL_MESSAGES_H_

#include <ostream>

namespace dorvex {

// The console messages, written as Shift_JIS bytes. Each ends its line and
// flushes, so that standard output and standard error sent to one pipe keep
// the order in which things happened.

// "Usage: dorvex image"
void WriteUsage(std::ostream& err);
// "ファイルをオープンできません" (cannot open the file)
void WriteCannotOpen(std::ostream& err);
// "ディスク %d 枚目は正しいディスクではないようです." (disk %d does not seem
// to be the right disk)
void WriteWrongDisk(std::ostream& err, int position);
// "%d 枚めのイメージからファイルを抽出します." (extracting the files from
// image %d)
void WriteExtracting(std::ostream& out, int position);
// "%s の読み込みに失敗しました." (reading %s failed)
void WriteReadFailed(std::ostream& err, const char* file_name);
// "%s の書き込みに失敗しました." (writing %s failed)
void WriteWriteFailed(std::ostream& err, const char* file_name);

}  // namespace dorvex

#endif  // DORVEX_TOOL_MESSAGES_H_
