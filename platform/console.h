#ifndef DORVEX_PLATFORM_CONSOLE_H_
#define DORVEX_PLATFORM_CONSOLE_H_

#include <cstddef>
#include <cstdio>

#include "platform/files.h"

namespace dorvex {

// How text reaches a person: pipes and files get the stored Shift_JIS bytes,
// a terminal its own encoding, a Windows console UTF-16 through its own
// interface.
enum class TextForm {
  kShiftJis,        // a pipe, a file, or a terminal whose locale is Shift_JIS
  kUtf8,            // any other POSIX terminal, the C locale included
  kWindowsConsole,  // written with WriteConsoleW, whatever the code page
};

enum class StandardStream { kOutput, kError };

// Tells what `stream` is connected to. Called once for each stream when the
// run starts; reads the locale (LC_CTYPE) only for a POSIX terminal.
TextForm DetectTextForm(StandardStream stream);

// True for a locale character set that is Shift_JIS by another name:
// SHIFT_JIS, SJIS, CP932 or WINDOWS-31J, in any case, with or without its
// '-' and '_'.
bool IsShiftJisCodeset(const char* codeset);

// True for a locale name whose codeset, after the '.' and before any '@',
// is Shift_JIS, as "ja_JP.SJIS" or "ja_JP.shift-jis@latin".
bool LocaleNameIsShiftJis(const char* name);

// The locale name that decides the character set, as POSIX orders the
// variables: LC_ALL, then LC_CTYPE, then LANG, the first that is set and
// not empty; nullptr when none is.
const char* LocaleNameFromEnvironment();

// What a process's console is, as far as holding its window open goes.
struct ConsoleFacts {
  bool attached = false;            // the process has a console at all
  unsigned long process_count = 0;  // processes on it, this one included
  bool input_is_console = false;    // standard input reads from it
  bool output_is_console = false;   // standard output writes to it
  bool error_is_console = false;    // standard error writes to it
  // A Windows process started this one. Not so under Wine run from a Unix
  // terminal, which then is the console, shared with the shell.
  bool has_windows_parent = false;
};

// The facts of this process's console. Without a Windows console (every
// POSIX host), all false.
ConsoleFacts ReadConsoleFacts();

// True when the console window was made for this program alone, as Explorer
// makes one for a double click or a drop, and so closes the moment the
// program ends: no other process shares it, all three standard streams are
// on it, so that a wait for a key can neither block a script nor swallow
// piped input, and a Windows process started it.
bool ConsoleIsOwnWindow(const ConsoleFacts& facts);

// Waits until a key is pressed on the console, ignoring keys pressed
// before; returns at once when the console cannot be read.
void WaitForKey();

// Makes `stream` write its bytes as they are: on Windows, a line's "\n"
// no longer becomes "\r\n". Elsewhere streams already do.
void WriteStreamAsBytes(std::FILE* stream);

// The longest line the program writes: the text of a message, at most
// kMaxMessageText bytes, and at most one path.
constexpr size_t kMaxMessageText = 256;
constexpr size_t kMaxLineBytes = kMaxMessageText + kMaxPathBytes;

// Writes the zero-terminated UTF-8 `line` to the Windows console behind
// `stream` as UTF-16, in one call. False where there is none, or when the
// line is longer than a message and a path or not UTF-8.
bool WriteToConsole(StandardStream stream, const char* line);

}  // namespace dorvex

#endif  // DORVEX_PLATFORM_CONSOLE_H_
