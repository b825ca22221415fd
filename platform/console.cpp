#include "platform/console.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "platform/utf8.h"
#else
#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#endif

#include <cstdlib>

namespace dorvex {

namespace {

// Skips the '-' and '_' that spellings of one character set differ by.
const char* SkipSeparators(const char* p) {
  while (*p == '-' || *p == '_') ++p;
  return p;
}

// True when the codeset from `codeset` up to `end` (a NUL or '@') is `name`,
// given in upper case without separators.
bool CodesetIs(const char* codeset, char end, const char* name) {
  const char* a = SkipSeparators(codeset);
  for (; *name != 0; ++name) {
    const char c =
        *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 'a' + 'A') : *a;
    if (c != *name) return false;
    a = SkipSeparators(a + 1);
  }
  return *a == 0 || *a == end;
}

bool IsShiftJisUpTo(const char* codeset, char end) {
  static const char* const kNames[] = {"SHIFTJIS", "SJIS", "CP932",
                                       "WINDOWS31J"};
  for (const char* name : kNames) {
    if (CodesetIs(codeset, end, name)) return true;
  }
  return false;
}

}  // namespace

bool IsShiftJisCodeset(const char* codeset) {
  return IsShiftJisUpTo(codeset, 0);
}

bool LocaleNameIsShiftJis(const char* name) {
  if (name == nullptr) return false;
  while (*name != 0 && *name != '.') ++name;
  return *name == '.' && IsShiftJisUpTo(name + 1, '@');
}

bool ConsoleIsOwnWindow(const ConsoleFacts& facts) {
  return facts.attached && facts.process_count == 1 && facts.input_is_console &&
         facts.output_is_console && facts.error_is_console &&
         facts.has_windows_parent;
}

const char* LocaleNameFromEnvironment() {
  static const char* const kVariables[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  for (const char* variable : kVariables) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != 0) return value;
  }
  return nullptr;
}

#ifdef _WIN32

namespace {

HANDLE HandleOf(StandardStream stream) {
  return GetStdHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE
                                                        : STD_ERROR_HANDLE);
}

// The id of the process that started this one, 0 when none did.
DWORD ParentProcessId() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  const DWORD self = GetCurrentProcessId();
  DWORD parent = 0;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == self) {
      parent = entry.th32ParentProcessID;
      break;
    }
  }
  CloseHandle(snapshot);
  return parent;
}

}  // namespace

TextForm DetectTextForm(StandardStream stream) {
  DWORD mode = 0;
  return GetConsoleMode(HandleOf(stream), &mode) ? TextForm::kWindowsConsole
                                                 : TextForm::kShiftJis;
}

bool WriteToConsole(StandardStream stream, const char* line) {
  // UTF-16 takes no more units than UTF-8 takes bytes: the text of a
  // message and a path fit.
  constexpr size_t kMaxLineUnits = kMaxMessageText + kMaxPathUnits;
  static char16_t wide[kMaxLineUnits];
  if (!Utf8ToUtf16(line, wide, kMaxLineUnits)) return false;
  DWORD units = 0;
  while (wide[units] != 0) ++units;
  DWORD written = 0;
  return WriteConsoleW(HandleOf(stream), wide, units, &written, nullptr) &&
         written == units;
}

ConsoleFacts ReadConsoleFacts() {
  ConsoleFacts facts;
  // A list of two is enough to tell one process from more; the count is
  // all of them either way.
  DWORD processes[2];
  facts.process_count = GetConsoleProcessList(processes, 2);
  facts.attached = facts.process_count > 0;
  DWORD mode = 0;
  facts.input_is_console =
      GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  facts.output_is_console =
      GetConsoleMode(HandleOf(StandardStream::kOutput), &mode) != 0;
  facts.error_is_console =
      GetConsoleMode(HandleOf(StandardStream::kError), &mode) != 0;
  // Only a console that may be the program's own is worth the snapshot.
  if (facts.process_count == 1 && facts.input_is_console &&
      facts.output_is_console && facts.error_is_console) {
    facts.has_windows_parent = ParentProcessId() != 0;
  }
  return facts;
}

void WriteStreamAsBytes(std::FILE* stream) {
  _setmode(_fileno(stream), _O_BINARY);
}

void WaitForKey() {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  FlushConsoleInputBuffer(input);
  INPUT_RECORD record;
  DWORD read = 0;
  while (ReadConsoleInputW(input, &record, 1, &read) && read == 1) {
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) {
      continue;
    }
    // Shift, Ctrl and Alt alone are no answer.
    const WORD key = record.Event.KeyEvent.wVirtualKeyCode;
    if (key != VK_SHIFT && key != VK_CONTROL && key != VK_MENU) return;
  }
}

#else  // POSIX

TextForm DetectTextForm(StandardStream stream) {
  if (!isatty(stream == StandardStream::kOutput ? STDOUT_FILENO
                                                : STDERR_FILENO)) {
    return TextForm::kShiftJis;
  }
  // The terminal speaks the locale's character set. The C locale and an
  // unset LANG name none that is Shift_JIS, and get UTF-8 as current
  // runtimes give them. A locale that cannot be loaded (not installed, or
  // a static program that cannot read the system's locale data) is told by
  // its name instead. The program itself goes on in the C locale.
  const bool loaded = std::setlocale(LC_CTYPE, "") != nullptr;
  const bool shift_jis =
      loaded ? IsShiftJisCodeset(nl_langinfo(CODESET))
             : LocaleNameIsShiftJis(LocaleNameFromEnvironment());
  std::setlocale(LC_CTYPE, "C");
  return shift_jis ? TextForm::kShiftJis : TextForm::kUtf8;
}

bool WriteToConsole(StandardStream, const char*) { return false; }

ConsoleFacts ReadConsoleFacts() { return ConsoleFacts(); }

void WaitForKey() {}

void WriteStreamAsBytes(std::FILE*) {}

#endif

}  // namespace dorvex
