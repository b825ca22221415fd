#include "platform/console.h"

#ifdef _WIN32
#include <windows.h>

#include <cstring>

#include "platform/utf8.h"
#else
#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#endif

namespace dorvex {

bool IsShiftJisCodeset(const char* codeset) {
  static const char* const kNames[] = {"SHIFT_JIS", "SJIS", "CP932",
                                       "WINDOWS-31J"};
  for (const char* name : kNames) {
    const char* a = codeset;
    const char* b = name;
    while (*a != 0 && *b != 0 &&
           (*a == *b || (*a >= 'a' && *a <= 'z' && *a - 'a' + 'A' == *b))) {
      ++a, ++b;
    }
    if (*a == 0 && *b == 0) return true;
  }
  return false;
}

#ifdef _WIN32

namespace {

HANDLE HandleOf(StandardStream stream) {
  return GetStdHandle(stream == StandardStream::kOutput ? STD_OUTPUT_HANDLE
                                                        : STD_ERROR_HANDLE);
}

}  // namespace

TextForm DetectTextForm(StandardStream stream) {
  DWORD mode = 0;
  return GetConsoleMode(HandleOf(stream), &mode) ? TextForm::kWindowsConsole
                                                 : TextForm::kShiftJis;
}

bool WriteToConsole(StandardStream stream, const char* text, size_t length) {
  // A message line is far shorter; a longer one is not written in pieces.
  constexpr size_t kMaxLine = 512;
  char line[kMaxLine];
  char16_t wide[kMaxLine];
  if (length >= kMaxLine) return false;
  std::memcpy(line, text, length);
  line[length] = 0;
  if (!Utf8ToUtf16(line, wide, kMaxLine)) return false;
  DWORD units = 0;
  while (wide[units] != 0) ++units;
  DWORD written = 0;
  return WriteConsoleW(HandleOf(stream), wide, units, &written, nullptr) &&
         written == units;
}

#else  // POSIX

TextForm DetectTextForm(StandardStream stream) {
  if (!isatty(stream == StandardStream::kOutput ? STDOUT_FILENO
                                                : STDERR_FILENO)) {
    return TextForm::kShiftJis;
  }
  // The terminal speaks the locale's character set. The C locale and an
  // unset LANG name none that is Shift_JIS, and get UTF-8 as current
  // runtimes give them. The program itself goes on in the C locale.
  const bool shift_jis = std::setlocale(LC_CTYPE, "") != nullptr &&
                         IsShiftJisCodeset(nl_langinfo(CODESET));
  std::setlocale(LC_CTYPE, "C");
  return shift_jis ? TextForm::kShiftJis : TextForm::kUtf8;
}

bool WriteToConsole(StandardStream, const char*, size_t) { return false; }

#endif

}  // namespace dorvex
