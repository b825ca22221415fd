#include "platform/console.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/console_text.h"
#include "tests/scratch_dir.h"

#if defined(__linux__) && defined(DORVEX_PROGRAM)
#include <fcntl.h>
#include <locale.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#endif

namespace dorvex {
namespace {

TEST(ConsoleTest, KnowsShiftJisByEachOfItsNames) {
  const struct {
    const char* codeset;
    bool shift_jis;
  } cases[] = {
      {"SHIFT_JIS", true},   {"shift_jis", true},
      {"SJIS", true},        {"sjis", true},
      {"CP932", true},       {"cp932", true},
      {"WINDOWS-31J", true}, {"Windows-31J", true},
      {"UTF-8", false},      {"ANSI_X3.4-1968", false},
      {"EUC-JP", false},     {"SJIS2", false},
      {"SJI", false},        {"", false},
      {"Shift-JIS", true},   {"SHIFTJIS", true},
      {"windows31j", true},  {"cp-932", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsShiftJisCodeset(c.codeset), c.shift_jis) << c.codeset;
  }
}

// Only a console window made for dorvex alone, with all three streams on
// it, is held open; anything shared, redirected or closed never waits.
TEST(ConsoleTest, HoldsOnlyAWindowMadeForItAlone) {
  const struct {
    const char* what;
    ConsoleFacts facts;
    bool own;
  } cases[] = {
      {"its own window", {true, 1, true, true, true, true}, true},
      {"shared with a shell", {true, 2, true, true, true, true}, false},
      {"no console", {false, 0, false, false, false, true}, false},
      {"a console no process is listed on",
       {true, 0, true, true, true, true},
       false},
      {"standard output redirected", {true, 1, true, false, true, true}, false},
      {"standard error redirected", {true, 1, true, true, false, true}, false},
      {"standard input redirected or closed",
       {true, 1, false, true, true, true},
       false},
      {"Wine run from a Unix terminal",
       {true, 1, true, true, true, false},
       false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConsoleIsOwnWindow(c.facts), c.own) << c.what;
  }
  // A test run is never such a window: whatever reads the facts wrong would
  // make a run from a script wait.
  EXPECT_FALSE(ConsoleIsOwnWindow(ReadConsoleFacts()));
}

TEST(ConsoleTest, TellsShiftJisFromTheLocaleName) {
  const struct {
    const char* name;
    bool shift_jis;
  } cases[] = {
      {"ja_JP.SJIS", true},
      {"ja_JP.shift_jis", true},
      {"ja_JP.Shift-JIS@euro", true},
      {"xx.cp932", true},
      {"ja_JP.UTF-8", false},
      {"ja_JP", false},
      {"SJIS", false},
      {"ja_JP.SJIS2", false},
      {"C", false},
      {"", false},
      {nullptr, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LocaleNameIsShiftJis(c.name), c.shift_jis)
        << (c.name == nullptr ? "(none)" : c.name);
  }
}

#if defined(__linux__) && defined(DORVEX_PROGRAM)

const std::string kSample =
    std::string(DORVEX_SOURCE_DIR) + "/examples/sample.d88";

// Runs the program on the sample with standard output and error on one new
// pseudo-terminal (or on one pipe), in the environment `env`, and returns
// everything it wrote there. With `errors_to`, standard error goes to that
// file instead.
std::string RunOnTerminal(const std::vector<std::string>& env, bool pipe_it,
                          const char* errors_to = nullptr) {
  int reader = -1, writer = -1;
  if (pipe_it) {
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    reader = fds[0], writer = fds[1];
  } else {
    reader = posix_openpt(O_RDWR | O_NOCTTY);
    if (reader < 0 || grantpt(reader) != 0 || unlockpt(reader) != 0) {
      return "no pseudo-terminal";
    }
  }
  const std::string terminal = pipe_it ? "" : ptsname(reader);
  std::vector<char*> envp;
  for (const std::string& entry : env) {
    envp.push_back(const_cast<char*>(entry.c_str()));
  }
  envp.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    const int out = pipe_it ? writer : open(terminal.c_str(), O_RDWR);
    dup2(out, 1);
    dup2(errors_to == nullptr
             ? out
             : open(errors_to, O_WRONLY | O_CREAT | O_TRUNC, 0644),
         2);
    const char* argv[] = {DORVEX_PROGRAM, kSample.c_str(), nullptr};
    execve(argv[0], const_cast<char**>(argv), envp.data());
    _exit(127);
  }
  if (pipe_it) close(writer);
  std::string got;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(reader, buffer, sizeof buffer);
    if (n <= 0) break;  // a terminal whose last writer is gone reads EIO
    got.append(buffer, static_cast<size_t>(n));
  }
  close(reader);
  int status = 0;
  waitpid(pid, &status, 0);
  std::string lines;  // the terminal ends each line in CR LF
  for (char c : got) {
    if (c != '\r') lines += c;
  }
  return lines;
}

TEST(ConsoleTest, TerminalShowsJapaneseAndPipeGetsShiftJis) {
  d88::ScratchDir scratch;
  const std::string utf8 =
      "1 枚めのイメージからファイルを抽出します.\n"
      "ディスク 2 枚目は正しいディスクではないようです.\n"
      "3 枚めのイメージからファイルを抽出します.\n";
  const std::vector<std::vector<std::string>> locales = {
      {"LANG=C.UTF-8"}, {"LC_ALL=C"}, {"LANG=C", "LC_CTYPE=POSIX"}, {}};
  for (const auto& env : locales) {
    EXPECT_EQ(RunOnTerminal(env, false), utf8)
        << (env.empty() ? "no locale" : env[0]);
  }
  const std::string shift_jis =
      d88::ExtractingLine(1) + d88::WrongDiskLine(2) + d88::ExtractingLine(3);
  EXPECT_EQ(RunOnTerminal({"LANG=C.UTF-8"}, true), shift_jis);
  // A terminal whose locale is Shift_JIS gets the bytes as they are stored.
  const locale_t sjis = newlocale(LC_CTYPE_MASK, "ja_JP.SJIS", locale_t{});
  if (sjis == locale_t{}) {
    std::printf("skipped the Shift_JIS terminal: no ja_JP.SJIS locale here\n");
    return;
  }
  freelocale(sjis);
  EXPECT_EQ(RunOnTerminal({"LC_ALL=ja_JP.SJIS"}, false), shift_jis);
}

// A locale that cannot be loaded, as for a static program, is told by its
// name: LC_ALL, then LC_CTYPE, then LANG, the first that is set and not
// empty.
TEST(ConsoleTest, TerminalFollowsTheLocaleNamedInTheEnvironment) {
  d88::ScratchDir scratch;
  const std::string utf8 =
      "1 枚めのイメージからファイルを抽出します.\n"
      "ディスク 2 枚目は正しいディスクではないようです.\n"
      "3 枚めのイメージからファイルを抽出します.\n";
  const std::string shift_jis =
      d88::ExtractingLine(1) + d88::WrongDiskLine(2) + d88::ExtractingLine(3);
  const struct {
    std::vector<std::string> env;
    bool shift_jis;
  } cases[] = {
      {{"LC_ALL=xx_XX.Shift_JIS"}, true},
      {{"LC_CTYPE=xx_XX.sjis"}, true},
      {{"LANG=xx_XX.shift-jis@x"}, true},
      {{"LC_ALL=C.UTF-8", "LANG=xx_XX.SJIS"}, false},
      {{"LC_ALL=", "LC_CTYPE=xx_XX.CP932", "LANG=C.UTF-8"}, true},
      {{"LC_CTYPE=C.UTF-8", "LANG=xx_XX.SJIS"}, false},
      {{"LANG=xx_XX.UTF-8"}, false},
  };
  for (const auto& c : cases) {
    std::string what;
    for (const std::string& entry : c.env) what += entry + " ";
    EXPECT_EQ(RunOnTerminal(c.env, false), c.shift_jis ? shift_jis : utf8)
        << what;
  }
  // One stream on the terminal, the other into a file: each by its own.
  EXPECT_EQ(RunOnTerminal({"LANG=C.UTF-8"}, false, "errors.txt"),
            "1 枚めのイメージからファイルを抽出します.\n"
            "3 枚めのイメージからファイルを抽出します.\n");
  const std::string errors = d88::WrongDiskLine(2);
  std::FILE* file = std::fopen("errors.txt", "rb");
  ASSERT_NE(file, nullptr);
  char buffer[256] = {};
  const size_t n = std::fread(buffer, 1, sizeof buffer, file);
  std::fclose(file);
  EXPECT_EQ(std::string(buffer, n), errors);
}

#endif

}  // namespace
}  // namespace dorvex
